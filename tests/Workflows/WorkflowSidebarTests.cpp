#include "Input/InputTestSupport.h"
#include "Runtime/Executors.h"
#include "VedevaveApp/Workflows/HeadlessWorkflowSidebarPort.h"
#include "VedevaveApp/Workflows/WorkflowSidebarController.h"
#include "VedevaveApp/Workflows/WorkflowStore.h"
#include "WorkflowTestSupport.h"

#include <algorithm>
#include <ctime>
#include <fstream>
#include <gtest/gtest.h>

namespace {

using namespace VedevaveApp;
using Lines = std::vector<std::string>;
using Tone = WorkflowStatusTone;
using Controller = WorkflowSidebarController;

// The controller with every collaborator real except the phone (a recording fake), the clocks
// (virtual) and the widgets (the headless port).
class WorkflowSidebarTest : public ::testing::Test {
protected:
    WorkflowSidebarTest() {
        Platform::Environment::set("TZ", "UTC");
        ::tzset();
    }
    ~WorkflowSidebarTest() override {
        Runtime::mainContext().restart();
        Runtime::mainContext().poll();
    }

    // Runs the main executor until it has nothing left to do.
    void drain() {
        Runtime::mainContext().restart();
        Runtime::mainContext().run();
    }

    void saveWorkflow(const std::string& name, std::vector<WorkflowStep> steps) {
        WorkflowStore::save(Workflow(name, std::move(steps), std::nullopt));
    }

    WorkflowTestSupport::TemporaryLibrary library;
    WorkflowTestSupport::VirtualClock clock;
    WorkflowTestSupport::TimelineControlClient control{clock};
    InputTestSupport::VirtualScheduler scheduler;
    WorkflowRecorder recorder{scheduler};
    WorkflowPlayer player{clock.pauseFunction(), Runtime::mainExecutor()};
    DeviceActionGate gate;
    HeadlessWorkflowSidebarPort port;
    bool isAgentRunning = false;
    bool isRevealed = true;
    Controller controller{WorkflowSidebarDependencies{
        port, recorder, player, gate, control, [this] { return isAgentRunning; },
        [this] { return isRevealed; }, [] { return TouchMap::Mode::portrait(); },
        [] { return std::chrono::system_clock::time_point(std::chrono::seconds(1772373909)); }}};
};

TEST_F(WorkflowSidebarTest, PlayRefusesWhileSomethingElseControlsThePhone) {
    saveWorkflow("Demo", {WorkflowStep::tap(0.5, 0.5)});
    struct Case {
        const char* what;
        std::function<void()> arrange;
        std::string expected;
    };
    const std::vector<Case> cases{
        {"agent run", [&] { isAgentRunning = true; }, "Stop the active AI run first"},
        {"mirror not shown", [&] { isRevealed = false; }, "Connect and unlock the phone first"},
        {"recording", [&] { recorder.start(); }, "Stop recording before playback"},
        {"agent batch holds the gate",
         [&] { gate.beginExclusive(DeviceActionGate::ExclusiveOwner::agentBatch); },
         "Another action is controlling the phone"},
        {"a manual lease", [&] { gate.beginManualLease(); }, "Another action is controlling the phone"},
    };
    for (const auto& testCase : cases) {
        testCase.arrange();
        controller.play("Demo");
        EXPECT_EQ(port.status, Controller::statusChecking) << testCase.what;
        drain();
        EXPECT_EQ(port.status, testCase.expected) << testCase.what;
        EXPECT_EQ(port.statusTone, Tone::error) << testCase.what;
        EXPECT_FALSE(player.isPlaying()) << testCase.what;
        EXPECT_TRUE(control.timeline.empty()) << testCase.what;
        isAgentRunning = false;
        isRevealed = true;
        if (recorder.isRecording()) {
            recorder.stop();
        }
        gate.endExclusive(DeviceActionGate::ExclusiveOwner::agentBatch);
        gate.endManualLease();
    }
    controller.play("Missing");
    drain();
    EXPECT_EQ(port.status, "Workflow not found: Missing");
    EXPECT_EQ(port.statusTone, Tone::error);
    EXPECT_FALSE(gate.exclusiveOwner());
}

TEST_F(WorkflowSidebarTest, PlayHoldsTheGateReportsProgressAndGivesTheGateBack) {
    saveWorkflow("Demo", {WorkflowStep::tap(0.5, 0.8), WorkflowStep::wait(1500)});
    controller.play("Demo");
    drain();
    EXPECT_EQ(port.statusHistory,
              (Lines{"Checking automation state\u2026", "Starting \u00B7 2 steps", "Starting \u00B7 2 steps",
                     "1/2 \u00B7 Tap 50%, 80%", "2/2 \u00B7 Pause 1.5s", "Completed"}));
    EXPECT_EQ(port.chipHistory,
              (Lines{"playing workflow \u00B7 Demo", "playing workflow \u00B7 Demo", "workflow complete"}));
    EXPECT_EQ(port.stripSteps.size(), 2u);
    EXPECT_EQ(port.stripHighlight, 1u);
    EXPECT_EQ(port.stripTitle, "Timeline");
    EXPECT_FALSE(port.isPlaying);
    EXPECT_EQ(control.calls(), (Lines{"keyboardReset", "tap 32767 52428"}));
    EXPECT_FALSE(gate.exclusiveOwner());
    EXPECT_FALSE(controller.workflowPlaybackHoldsLease());

    saveWorkflow("Empty", {});
    controller.play("Empty");
    drain();
    EXPECT_EQ(port.status, "Completed");
}

TEST_F(WorkflowSidebarTest, StopDuringASwipeReleasesTheTouchAndShowsStopped) {
    saveWorkflow("Swipe", {WorkflowStep::swipe(0.1, 0.9, 0.1, 0.1, 800), WorkflowStep::tap(0.5, 0.5)});
    clock.onPause = [&](std::size_t number) {
        if (number == 5) {
            EXPECT_EQ(gate.exclusiveOwner(), DeviceActionGate::ExclusiveOwner::workflowPlayback);
            EXPECT_FALSE(gate.isManualControlAllowed());
            controller.stop();
        }
    };
    controller.play("Swipe");
    drain();
    EXPECT_EQ(port.statusHistory.end()[-2], "Stopping\u2026");
    EXPECT_EQ(port.status, "Stopped");
    EXPECT_EQ(port.statusChip, "workflow stopped");
    EXPECT_TRUE(control.calls().back().starts_with("touch release"));
    EXPECT_FALSE(gate.exclusiveOwner());
}

TEST_F(WorkflowSidebarTest, RecordingStartsAfterTheChecksAndSavesUnderTheNameField) {
    isAgentRunning = true;
    controller.recordButtonPressed();
    drain();
    EXPECT_EQ(port.status, "Stop the active AI run first");
    isAgentRunning = false;

    controller.recordButtonPressed();
    drain();
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_EQ(port.nameField, "Workflow 2026-03-01 14.05.09");
    EXPECT_EQ(port.status, "Recording manual phone input");
    EXPECT_EQ(port.statusTone, Tone::secondary);
    EXPECT_EQ(port.statusChip, "recording workflow\u2026");
    EXPECT_EQ(port.stripTitle, "Recording");
    EXPECT_TRUE(port.isRecording);

    recorder.touchDown(0.5, 0.5);
    recorder.touchUp(0.5, 0.5);
    scheduler.advance(std::chrono::seconds(1));
    recorder.button("home");
    EXPECT_EQ(port.recordingStepCount, 3u);
    EXPECT_EQ(port.stripHighlight, 2u);

    port.nameField = "  Morning check  ";
    controller.recordButtonPressed();
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(port.status, "Saved \u00B7 3 steps");
    EXPECT_EQ(port.statusChip, "workflow saved \u00B7 Morning check");
    EXPECT_EQ(port.stripTitle, "Timeline");
    EXPECT_EQ(port.selectedName, "Morning check");
    EXPECT_EQ(port.libraryNames, Lines{"Morning check"});
    EXPECT_EQ(WorkflowStore::load(WorkflowStore::url("Morning check")).steps.size(), 3u);
}

TEST_F(WorkflowSidebarTest, RecordingRefusalsEmptyRecordingsAndSaveFailures) {
    // The check runs after the press, when playback has begun.
    controller.recordButtonPressed();
    player.play(Workflow("Busy", {WorkflowStep::wait(100)}, std::nullopt), control,
                TouchMap::Mode::portrait());
    drain();
    EXPECT_NE(
        std::find(port.statusHistory.begin(), port.statusHistory.end(), "Stop playback before recording"),
        port.statusHistory.end());
    EXPECT_FALSE(recorder.isRecording());

    port.nameField = "   ";
    controller.recordButtonPressed();
    drain();
    EXPECT_EQ(port.nameField, "Workflow 2026-03-01 14.05.09");
    port.nameField = "";
    controller.recordButtonPressed();
    EXPECT_EQ(port.status, "Nothing was recorded");
    EXPECT_EQ(port.statusTone, Tone::error);
    EXPECT_EQ(port.statusChip, "workflow empty");

    controller.recordButtonPressed();
    drain();
    recorder.button("lock");
    port.nameField = std::string(121, 'n');
    controller.recordButtonPressed();
    EXPECT_EQ(port.status, "The workflow metadata is invalid or exceeds its safety limit.");
    EXPECT_EQ(port.statusTone, Tone::error);
    EXPECT_EQ(recorder.steps().size(), 1u); // still there to look at

    controller.recordButtonPressed();
    drain();
    recorder.button("lock");
    port.nameField = " ";
    controller.recordButtonPressed();
    EXPECT_EQ(port.status, "Saved \u00B7 1 steps");
    EXPECT_EQ(port.nameField, "Workflow 2026-03-01 14.05.09");
}

TEST_F(WorkflowSidebarTest, SelectExportAndLibraryChanges) {
    saveWorkflow("Demo", {WorkflowStep::tap(0.5, 0.5), WorkflowStep::button("home")});
    controller.select("Demo");
    EXPECT_EQ(port.stripSteps.size(), 2u);
    EXPECT_EQ(port.stripHighlight, std::nullopt);

    std::ofstream(library.library() / "Broken.json") << "{";
    controller.select("Broken");
    EXPECT_TRUE(port.status.starts_with("The workflow file could not be read: it is not valid JSON"))
        << port.status;
    EXPECT_EQ(port.statusTone, Tone::error);

    controller.exportWorkflow("Nope");
    EXPECT_EQ(port.status, "Workflow not found: Nope");

    port.exportDestination = library.outside() / "out";
    controller.exportWorkflow("Demo");
    ASSERT_TRUE(port.lastExportRequest);
    EXPECT_EQ(port.lastExportRequest->title, "Export Workflow");
    EXPECT_EQ(port.lastExportRequest->proposedFileName, "Demo.json");
    EXPECT_EQ(port.lastExportRequest->allowedExtensions, Lines{"json"});
    EXPECT_EQ(port.status, "Exported \u00B7 Demo.json");
    EXPECT_EQ(port.statusChip, "workflow exported");
    EXPECT_EQ(port.revealedFiles,
              std::vector<std::filesystem::path>{library.outside() / "out" / "Demo.json"});

    port.exportDestination.reset(); // the user cancels the panel
    port.status.clear();
    controller.exportWorkflow("Demo");
    EXPECT_EQ(port.status, "");

    // A save from anywhere reloads the list on the main executor, keeping the name field selected.
    port.nameField = "Demo";
    saveWorkflow("Second", {WorkflowStep::wait(10)});
    drain();
    EXPECT_EQ(port.libraryNames.size(), 2u); // Broken.json does not load and is left out
    EXPECT_EQ(port.selectedName, "Demo");
}

} // namespace
