#include "VedevaveApp/Workflows/HeadlessWorkflowSidebarPort.h"

namespace VedevaveApp {

namespace {
// Long sessions keep only the recent history.
constexpr std::size_t historyLimit = 256;

void remember(std::vector<std::string>& history, std::string_view text) {
    if (history.size() == historyLimit) {
        history.erase(history.begin());
    }
    history.emplace_back(text);
}
} // namespace

void HeadlessWorkflowSidebarPort::showStatus(std::string_view text, WorkflowStatusTone tone) {
    status = std::string(text);
    statusTone = tone;
    remember(statusHistory, text);
}

void HeadlessWorkflowSidebarPort::showStatusChip(std::string_view text) {
    statusChip = std::string(text);
    remember(chipHistory, text);
}

void HeadlessWorkflowSidebarPort::setRecording(bool isRecording, std::size_t stepCount) {
    this->isRecording = isRecording;
    recordingStepCount = stepCount;
}

void HeadlessWorkflowSidebarPort::reloadLibrary(const std::vector<std::string>& names,
                                                const std::optional<std::string>& selected) {
    libraryNames = names;
    selectedName = selected;
}

void HeadlessWorkflowSidebarPort::reloadStrip(const std::vector<WorkflowStep>& steps,
                                              std::optional<std::size_t> highlight) {
    stripSteps = steps;
    stripHighlight = highlight;
}

void HeadlessWorkflowSidebarPort::presentExportPanel(
    const WorkflowExportPanelRequest& request,
    std::function<void(std::optional<std::filesystem::path>)> completion) {
    lastExportRequest = request;
    completion(exportDestination);
}

} // namespace VedevaveApp
