// The workflow sidebar without a desktop: it keeps what it was last told so that the headless
// application (and tests) can read it, answers the export panel with a destination given
// beforehand, and reveals nothing. Main executor only.
#pragma once

#include "VedevaveApp/Workflows/WorkflowSidebarPort.h"

namespace VedevaveApp {

class HeadlessWorkflowSidebarPort final : public WorkflowSidebarPort {
public:
    void showStatus(std::string_view text, WorkflowStatusTone tone) override;
    void showStatusChip(std::string_view text) override;
    void setPlaying(bool isPlaying) override { this->isPlaying = isPlaying; }
    void setRecording(bool isRecording, std::size_t stepCount) override;
    void reloadLibrary(const std::vector<std::string>& names,
                       const std::optional<std::string>& selected) override;
    std::string nameFieldText() const override { return nameField; }
    void setNameFieldText(std::string_view text) override { nameField = std::string(text); }
    void setStripTitle(std::string_view title) override { stripTitle = std::string(title); }
    void reloadStrip(const std::vector<WorkflowStep>& steps, std::optional<std::size_t> highlight) override;
    void highlightStep(std::size_t index) override { stripHighlight = index; }
    // Completes at once with `exportDestination` (absent: as if the user cancelled).
    void presentExportPanel(const WorkflowExportPanelRequest& request,
                            std::function<void(std::optional<std::filesystem::path>)> completion) override;
    void revealInFileViewer(const std::filesystem::path& file) override { revealedFiles.push_back(file); }

    // Where the next export goes.
    std::optional<std::filesystem::path> exportDestination;

    // What the sidebar shows now, and every status text in order.
    std::string status;
    WorkflowStatusTone statusTone = WorkflowStatusTone::secondary;
    std::vector<std::string> statusHistory;
    std::string statusChip;
    std::vector<std::string> chipHistory;
    bool isPlaying = false;
    bool isRecording = false;
    std::size_t recordingStepCount = 0;
    std::vector<std::string> libraryNames;
    std::optional<std::string> selectedName;
    std::string nameField;
    std::string stripTitle = "Timeline";
    std::vector<WorkflowStep> stripSteps;
    std::optional<std::size_t> stripHighlight;
    std::optional<WorkflowExportPanelRequest> lastExportRequest;
    std::vector<std::filesystem::path> revealedFiles;
};

} // namespace VedevaveApp
