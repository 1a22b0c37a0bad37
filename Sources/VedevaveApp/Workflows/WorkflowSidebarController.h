// The workflow sidebar's commands: play, stop, select, export and the record button. It checks
// that nothing else controls the phone (agent run, gate, recorder, player), connects the player and
// the recorder to the library and the device action gate, and reports every state through a
// WorkflowSidebarPort with the status texts users see.
//
// Main executor only. It installs itself as the player's and the recorder's callbacks and as the
// library's change callback while it lives; the destructor removes them. The commands that start
// with "Checking automation state…" finish as work posted to the main executor.
#pragma once

#include "ControlKit/ControlClientInterface.h"
#include "VedevaveApp/App/DeviceActionGate.h"
#include "VedevaveApp/Input/TouchMap.h"
#include "VedevaveApp/Workflows/WorkflowPlaybackControl.h"
#include "VedevaveApp/Workflows/WorkflowPlayer.h"
#include "VedevaveApp/Workflows/WorkflowRecorder.h"
#include "VedevaveApp/Workflows/WorkflowSidebarPort.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace VedevaveApp {

struct WorkflowSidebarDependencies {
    WorkflowSidebarPort& port;
    WorkflowRecorder& recorder;
    WorkflowPlayer& player;
    DeviceActionGate& gate;
    ControlKit::ControlClientInterface& control;
    // True while an agent run exists whose status is not terminal. Unset: never.
    std::function<bool()> isAgentRunActive;
    // The session's didRevealMirror: the phone has been connected and shown. Unset: never.
    std::function<bool()> didRevealMirror;
    // The video view's touch mode at the moment playback starts. Unset: portrait.
    std::function<TouchMap::Mode()> touchMode;
    // Local time for default workflow names. Unset: the system clock.
    std::function<std::chrono::system_clock::time_point()> now;
};

class WorkflowSidebarController final : public WorkflowPlaybackControl {
public:
    // Status line texts.
    static constexpr std::string_view statusChecking = "Checking automation state\u2026";
    static constexpr std::string_view statusStopAgentFirst = "Stop the active AI run first";
    static constexpr std::string_view statusConnectFirst = "Connect and unlock the phone first";
    static constexpr std::string_view statusStopRecordingFirst = "Stop recording before playback";
    static constexpr std::string_view statusStopPlaybackFirst = "Stop playback before recording";
    static constexpr std::string_view statusNotFoundPrefix = "Workflow not found: ";
    static constexpr std::string_view statusStarting = "Starting \u00B7 ";
    static constexpr std::string_view statusCompleted = "Completed";
    static constexpr std::string_view statusStopped = "Stopped";
    static constexpr std::string_view statusStopping = "Stopping\u2026";
    static constexpr std::string_view statusRecording = "Recording manual phone input";
    static constexpr std::string_view statusNothingRecorded = "Nothing was recorded";
    static constexpr std::string_view statusSaved = "Saved \u00B7 ";
    static constexpr std::string_view statusExported = "Exported \u00B7 ";
    // Status chip texts.
    static constexpr std::string_view chipPlayingPrefix = "playing workflow \u00B7 ";
    static constexpr std::string_view chipComplete = "workflow complete";
    static constexpr std::string_view chipStopped = "workflow stopped";
    static constexpr std::string_view chipRecording = "recording workflow\u2026";
    static constexpr std::string_view chipEmpty = "workflow empty";
    static constexpr std::string_view chipSavedPrefix = "workflow saved \u00B7 ";
    static constexpr std::string_view chipExported = "workflow exported";
    // Live strip titles.
    static constexpr std::string_view stripTimeline = "Timeline";
    static constexpr std::string_view stripRecording = "Recording";
    static constexpr std::string_view stripPlaying = "Playing";
    static constexpr std::string_view exportPanelTitle = "Export Workflow";

    explicit WorkflowSidebarController(WorkflowSidebarDependencies dependencies);
    ~WorkflowSidebarController();
    WorkflowSidebarController(const WorkflowSidebarController&) = delete;
    WorkflowSidebarController& operator=(const WorkflowSidebarController&) = delete;

    // The path bar's actions.
    void play(const std::string& name);
    void stop();
    void select(const std::string& name);
    void exportWorkflow(const std::string& name);
    // Starts recording when idle; stops and saves under the name field's name when recording.
    void recordButtonPressed();

    // Reloads the path bar's list, keeping the name field's workflow selected. The library's change
    // callback runs it on the main executor.
    void reloadLibrary();
    // The library's workflow names, newest first; files that fail to load are left out.
    static std::vector<std::string> libraryNames();

    // The same checks and start as `play`, answered at once for a client of the local API.
    Outcome playForClient(const std::string& name) override;
    nlohmann::json playbackStatus() const override;
    bool stopForClient() override;

    // Shut-down: cancels playback and gives the gate back at once.
    void cancelPlaybackForShutdown();

    bool workflowPlaybackHoldsLease() const { return workflowPlaybackHoldsLease_; }
    // "Workflow 2026-03-01 14.05.09" in local time.
    std::string defaultWorkflowName() const;

private:
    void installCallbacks();
    void playChecked(const std::string& name);
    // Checks that nothing else controls the phone, loads the workflow, takes the gate and starts.
    Outcome startPlayback(const std::string& name);
    void startRecordingChecked();
    void stopRecordingAndSave();
    void releaseWorkflowPlaybackLease();
    void refreshRecorderState();
    // Runs `work` on the main executor later, unless the controller is gone by then.
    void later(std::function<void()> work);

    WorkflowSidebarDependencies deps_;
    bool workflowPlaybackHoldsLease_ = false;
    // What GET /v1/workflows/status reports.
    std::string playingName_;
    std::size_t stepNumber_ = 0;
    std::size_t stepCount_ = 0;
    std::string stepSummary_;
    std::string lastResult_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// The text of a failed load, save or export, as the status line shows it.
std::string describeWorkflowFailure(std::exception_ptr failure);

} // namespace VedevaveApp
