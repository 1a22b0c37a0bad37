#include "VedevaveApp/Workflows/WorkflowSidebarController.h"

#include "Runtime/Executors.h"
#include "VedevaveApp/Workflows/WorkflowStore.h"
#include "VedevaveApp/Workflows/WorkflowText.h"

#include <ctime>
#include <filesystem>

namespace VedevaveApp {

namespace {

constexpr auto secondary = WorkflowStatusTone::secondary;
constexpr auto errorTone = WorkflowStatusTone::error;

std::string joined(std::string_view head, std::string_view tail) {
    return std::string(head) + std::string(tail);
}

std::string stepCountText(std::size_t count) {
    return std::to_string(count) + " steps";
}

} // namespace

std::string describeWorkflowFailure(std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const WorkflowStoreError& storeError) {
        return storeError.description();
    } catch (const WorkflowDecodingError& decodingError) {
        return decodingError.description();
    } catch (const std::filesystem::filesystem_error& fileError) {
        return "The workflow file could not be used: " + fileError.code().message() + ".";
    } catch (const std::exception& other) {
        return other.what();
    } catch (...) {
        return "The workflow could not be used.";
    }
}

WorkflowSidebarController::WorkflowSidebarController(WorkflowSidebarDependencies dependencies)
    : deps_(std::move(dependencies)) {
    installCallbacks();
}

WorkflowSidebarController::~WorkflowSidebarController() {
    *alive_ = false;
    WorkflowStore::setOnLibraryChanged({});
    deps_.player.onStarted = nullptr;
    deps_.player.onProgress = nullptr;
    deps_.player.onStepHighlight = nullptr;
    deps_.player.onFinished = nullptr;
    deps_.recorder.onChanged = nullptr;
    deps_.recorder.onStepAdded = nullptr;
}

void WorkflowSidebarController::later(std::function<void()> work) {
    std::weak_ptr<bool> alive = alive_;
    Runtime::postToMain([alive, work = std::move(work)] {
        if (auto isAlive = alive.lock(); isAlive && *isAlive) {
            work();
        }
    });
}

void WorkflowSidebarController::installCallbacks() {
    auto& player = deps_.player;
    player.onStarted = [this](const Workflow& workflow) {
        playingName_ = workflow.name;
        stepCount_ = workflow.steps.size();
        auto& port = deps_.port;
        port.setPlaying(true);
        port.showStatus(joined(statusStarting, stepCountText(workflow.steps.size())), secondary);
        port.setStripTitle(stripPlaying);
        port.reloadStrip(workflow.steps, std::nullopt);
        port.showStatusChip(joined(chipPlayingPrefix, workflow.name));
    };
    player.onProgress = [this](std::size_t number, std::size_t count, const std::string& summary) {
        stepNumber_ = number;
        stepCount_ = count;
        stepSummary_ = summary;
        deps_.port.showStatus(std::to_string(number) + "/" + std::to_string(count) + " \u00B7 " + summary,
                              secondary);
    };
    player.onStepHighlight = [this](const WorkflowStep&, std::size_t index) {
        if (deps_.player.currentWorkflow()) {
            deps_.port.highlightStep(index);
        }
    };
    player.onFinished = [this](bool success) {
        lastResult_ = success ? "completed" : "stopped";
        deps_.port.setPlaying(false);
        deps_.port.setStripTitle(stripTimeline);
        deps_.port.showStatus(success ? statusCompleted : statusStopped, secondary);
        deps_.port.showStatusChip(success ? chipComplete : chipStopped);
        releaseWorkflowPlaybackLease();
    };
    deps_.recorder.onChanged = [this] { refreshRecorderState(); };
    deps_.recorder.onStepAdded = [this](const WorkflowStep&, std::size_t index) {
        deps_.port.reloadStrip(deps_.recorder.steps(), index);
    };
    std::weak_ptr<bool> alive = alive_;
    WorkflowStore::setOnLibraryChanged([this, alive] {
        // Saves may come from any thread; the list is the main executor's.
        Runtime::postToMain([this, alive] {
            if (auto isAlive = alive.lock(); isAlive && *isAlive) {
                reloadLibrary();
            }
        });
    });
}

void WorkflowSidebarController::refreshRecorderState() {
    const auto& recorder = deps_.recorder;
    const bool isRecording = recorder.isRecording();
    deps_.port.setRecording(isRecording, recorder.steps().size());
    deps_.port.setStripTitle(isRecording ? stripRecording : stripTimeline);
    std::optional<std::size_t> highlight;
    if (isRecording && !recorder.steps().empty()) {
        highlight = recorder.steps().size() - 1;
    }
    deps_.port.reloadStrip(recorder.steps(), highlight);
    if (!isRecording) {
        reloadLibrary();
    }
}

std::vector<std::string> WorkflowSidebarController::libraryNames() {
    std::vector<std::string> names;
    for (const auto& file : WorkflowStore::list()) {
        try {
            names.push_back(WorkflowStore::load(file).name);
        } catch (...) {
            // A file that does not load is not offered; playing it would fail anyway.
        }
    }
    return names;
}

void WorkflowSidebarController::reloadLibrary() {
    const std::string selected = WorkflowText::trimmed(deps_.port.nameFieldText());
    deps_.port.reloadLibrary(libraryNames(), selected.empty() ? std::nullopt : std::optional(selected));
}

std::string WorkflowSidebarController::defaultWorkflowName() const {
    const auto when = deps_.now ? deps_.now() : std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[64];
    std::strftime(text, sizeof text, "Workflow %Y-%m-%d %H.%M.%S", &local);
    return text;
}

void WorkflowSidebarController::play(const std::string& name) {
    deps_.port.showStatus(statusChecking, secondary);
    later([this, name] { playChecked(name); });
}

void WorkflowSidebarController::playChecked(const std::string& name) {
    const Outcome outcome = startPlayback(name);
    if (outcome.status != 202 && !outcome.error.empty()) {
        deps_.port.showStatus(outcome.error, errorTone);
    }
}

WorkflowPlaybackControl::Outcome WorkflowSidebarController::startPlayback(const std::string& name) {
    if (deps_.isAgentRunActive && deps_.isAgentRunActive()) {
        return {409, std::string(statusStopAgentFirst), 0};
    }
    if (!deps_.didRevealMirror || !deps_.didRevealMirror()) {
        return {503, std::string(statusConnectFirst), 0};
    }
    if (deps_.recorder.isRecording()) {
        return {409, std::string(statusStopRecordingFirst), 0};
    }
    if (deps_.player.isPlaying()) {
        // The sidebar ignores a second play quietly; a client is told why nothing started.
        return {409, "", 0};
    }
    Workflow workflow;
    try {
        workflow = WorkflowStore::load(WorkflowStore::url(name));
    } catch (...) {
        return {404, joined(statusNotFoundPrefix, name), 0};
    }
    if (!deps_.gate.beginExclusive(DeviceActionGate::ExclusiveOwner::workflowPlayback)) {
        return {409, DeviceActionGate::playbackRefusedText, 0};
    }
    auto& port = deps_.port;
    workflowPlaybackHoldsLease_ = true;
    playingName_ = workflow.name;
    stepNumber_ = 0;
    stepCount_ = workflow.steps.size();
    stepSummary_.clear();
    const std::size_t count = workflow.steps.size();
    port.setPlaying(true);
    port.showStatus(joined(statusStarting, stepCountText(count)), secondary);
    port.setStripTitle(stripPlaying);
    port.showStatusChip(joined(chipPlayingPrefix, workflow.name));
    const TouchMap::Mode mode = deps_.touchMode ? deps_.touchMode() : TouchMap::Mode::portrait();
    deps_.player.play(std::move(workflow), deps_.control, mode);
    return {202, "", count};
}

WorkflowPlaybackControl::Outcome WorkflowSidebarController::playForClient(const std::string& name) {
    Outcome outcome = startPlayback(name);
    if (outcome.status == 409 && outcome.error.empty()) {
        outcome.error = "A workflow is already playing";
    }
    return outcome;
}

nlohmann::json WorkflowSidebarController::playbackStatus() const {
    const bool playing = deps_.player.isPlaying();
    nlohmann::json status{{"playing", playing}, {"lastResult", lastResult_.empty() ? nullptr : nlohmann::json(lastResult_)}};
    if (playing || !playingName_.empty()) {
        status["name"] = playingName_;
        status["step"] = stepNumber_;
        status["steps"] = stepCount_;
        status["summary"] = stepSummary_;
    }
    return status;
}

bool WorkflowSidebarController::stopForClient() {
    if (!deps_.player.isPlaying()) {
        return false;
    }
    stop();
    return true;
}

void WorkflowSidebarController::stop() {
    const Runtime::Task& task = deps_.player.playbackTask();
    if (task.isValid()) {
        task.cancel();
    }
    deps_.port.showStatus(statusStopping, secondary);
}

void WorkflowSidebarController::select(const std::string& name) {
    Workflow workflow;
    try {
        workflow = WorkflowStore::load(WorkflowStore::url(name));
    } catch (...) {
        deps_.port.showStatus(describeWorkflowFailure(std::current_exception()), errorTone);
        return;
    }
    deps_.port.setStripTitle(stripTimeline);
    deps_.port.reloadStrip(workflow.steps, std::nullopt);
}

void WorkflowSidebarController::exportWorkflow(const std::string& name) {
    try {
        (void)WorkflowStore::load(WorkflowStore::url(name));
    } catch (...) {
        deps_.port.showStatus(joined(statusNotFoundPrefix, name), errorTone);
        return;
    }
    WorkflowExportPanelRequest request{
        std::string(exportPanelTitle), WorkflowStore::fileName(name), {"json"}, true};
    std::weak_ptr<bool> alive = alive_;
    deps_.port.presentExportPanel(
        request, [this, alive, name](std::optional<std::filesystem::path> destination) {
            if (auto isAlive = alive.lock(); !isAlive || !*isAlive || !destination || destination->empty()) {
                return;
            }
            std::filesystem::path written;
            try {
                written = WorkflowStore::exportWorkflow(name, *destination);
            } catch (...) {
                deps_.port.showStatus(describeWorkflowFailure(std::current_exception()), errorTone);
                return;
            }
            deps_.port.showStatus(joined(statusExported, written.filename().string()), secondary);
            deps_.port.showStatusChip(chipExported);
            deps_.port.revealInFileViewer(written);
        });
}

void WorkflowSidebarController::recordButtonPressed() {
    if (deps_.recorder.isRecording()) {
        stopRecordingAndSave();
        return;
    }
    deps_.port.showStatus(statusChecking, secondary);
    later([this] { startRecordingChecked(); });
}

void WorkflowSidebarController::startRecordingChecked() {
    auto& port = deps_.port;
    if (deps_.isAgentRunActive && deps_.isAgentRunActive()) {
        port.showStatus(statusStopAgentFirst, errorTone);
        return;
    }
    if (deps_.recorder.isRecording()) {
        return;
    }
    if (!deps_.didRevealMirror || !deps_.didRevealMirror()) {
        port.showStatus(statusConnectFirst, errorTone);
        return;
    }
    if (deps_.player.isPlaying()) {
        port.showStatus(statusStopPlaybackFirst, errorTone);
        return;
    }
    if (WorkflowText::trimmed(port.nameFieldText()).empty()) {
        port.setNameFieldText(defaultWorkflowName());
    }
    deps_.recorder.start();
    port.setRecording(true, 0);
    port.showStatus(statusRecording, secondary);
    port.setStripTitle(stripRecording);
    port.reloadStrip({}, std::nullopt);
    port.showStatusChip(chipRecording);
}

void WorkflowSidebarController::stopRecordingAndSave() {
    auto& port = deps_.port;
    Workflow workflow = deps_.recorder.stop();
    port.setRecording(false, workflow.steps.size());
    port.setStripTitle(stripTimeline);
    port.reloadStrip(workflow.steps, std::nullopt);
    if (workflow.steps.empty()) {
        port.showStatus(statusNothingRecorded, errorTone);
        port.showStatusChip(chipEmpty);
        return;
    }
    std::string name = WorkflowText::trimmed(port.nameFieldText());
    if (name.empty()) {
        name = defaultWorkflowName();
        port.setNameFieldText(name);
    }
    workflow.name = name;
    try {
        WorkflowStore::save(workflow);
    } catch (...) {
        port.showStatus(describeWorkflowFailure(std::current_exception()), errorTone);
        return;
    }
    port.reloadLibrary(libraryNames(), name);
    port.showStatus(joined(statusSaved, stepCountText(workflow.steps.size())), secondary);
    port.showStatusChip(joined(chipSavedPrefix, name));
}

void WorkflowSidebarController::releaseWorkflowPlaybackLease() {
    if (!workflowPlaybackHoldsLease_) {
        return;
    }
    workflowPlaybackHoldsLease_ = false;
    deps_.gate.endExclusive(DeviceActionGate::ExclusiveOwner::workflowPlayback);
}

void WorkflowSidebarController::cancelPlaybackForShutdown() {
    const Runtime::Task& task = deps_.player.playbackTask();
    if (task.isValid()) {
        task.cancel();
    }
    releaseWorkflowPlaybackLease();
}

} // namespace VedevaveApp
