// What the workflow sidebar controller shows, and asks of, the desktop interface: the path bar
// (library list, name field, play and record states, status line), the live strip of steps, the
// window's status chip, the export save panel and the file viewer. The widgets implement it; the
// headless port stands in without a desktop.
//
// Called on the main executor only; implementations marshal to their own thread and never call
// back synchronously into the controller, except for the save panel's completion (see below).
#pragma once

#include "VedevaveApp/Workflows/WorkflowStep.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace VedevaveApp {

// Progress is shown in the secondary text colour, refusals and failures in red.
enum class WorkflowStatusTone { secondary, error };

struct WorkflowExportPanelRequest {
    std::string title;                          // "Export Workflow"
    std::string proposedFileName;               // built like the library's file names
    std::vector<std::string> allowedExtensions; // {"json"}
    bool canCreateDirectories = true;
};

class WorkflowSidebarPort {
public:
    virtual ~WorkflowSidebarPort() = default;

    // The path bar's status line.
    virtual void showStatus(std::string_view text, WorkflowStatusTone tone) = 0;
    // The window's status chip over the mirror.
    virtual void showStatusChip(std::string_view text) = 0;
    virtual void setPlaying(bool isPlaying) = 0;
    virtual void setRecording(bool isRecording, std::size_t stepCount) = 0;
    // Reloads the path bar's list with the library's workflow names, newest first, selecting one.
    virtual void reloadLibrary(const std::vector<std::string>& names,
                               const std::optional<std::string>& selected) = 0;
    virtual std::string nameFieldText() const = 0;
    virtual void setNameFieldText(std::string_view text) = 0;

    // The live strip: its title ("Timeline", "Recording", "Playing"), its steps with one of them
    // highlighted or none, and a new highlight among the steps it shows.
    virtual void setStripTitle(std::string_view title) = 0;
    virtual void reloadStrip(const std::vector<WorkflowStep>& steps,
                             std::optional<std::size_t> highlight) = 0;
    virtual void highlightStep(std::size_t index) = 0;

    // Shows a save panel. `completion` gets the chosen file or folder, or absent when the user
    // cancels; it must be called on the main executor (possibly before this returns).
    virtual void presentExportPanel(const WorkflowExportPanelRequest& request,
                                    std::function<void(std::optional<std::filesystem::path>)> completion) = 0;
    // Shows a written file in the platform's file viewer.
    virtual void revealInFileViewer(const std::filesystem::path& file) = 0;
};

} // namespace VedevaveApp
