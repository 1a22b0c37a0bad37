// Against the simulated phone: a tap recorded through the mirror's input logic is saved, loaded and
// played back to the same end state; the macros open an app through Spotlight.
#include "Input/InputTestSupport.h"
#include "Session/SessionFixture.h"
#include "VedevaveApp/Input/MirrorInputController.h"
#include "VedevaveApp/LocalAPI/LocalAPIMacros.h"
#include "VedevaveApp/Workflows/WorkflowPlayer.h"
#include "VedevaveApp/Workflows/WorkflowRecorder.h"
#include "VedevaveApp/Workflows/WorkflowStore.h"
#include "WorkflowTestSupport.h"

namespace {

using namespace VedevaveApp;
using namespace std::chrono_literals;

// The simulated home screen of a 390 × 844 phone (the fixture's size), in view points of a view
// showing the picture at its own size: the first icon of the grid is Notes, centred 24 + 31 points
// from the left and 78 + 31 from the top.
constexpr TouchMap::Point notesIcon{55, 109};

class WorkflowEngineTest : public SessionTest::SessionFixture {
protected:
    void bootPhone() {
        auto& sessions = makeController();
        sessions.startBoot(phone);
        ASSERT_TRUE(runUntil([&] { return isConnected(); }));
    }

    std::string screen() { return debugState().value("screen", ""); }

    std::string foregroundApp() {
        const auto state = debugState();
        const auto app = state.find("app");
        return app != state.end() && app->is_object() ? app->value("name", "") : "";
    }

    void runFor(std::chrono::milliseconds duration) {
        const auto end = std::chrono::steady_clock::now() + duration;
        runUntil([&] { return std::chrono::steady_clock::now() >= end; }, duration + 1s);
    }

    // Runs a macro on the main executor to its end.
    bool runMacro(asio::awaitable<void> macro, std::chrono::milliseconds timeout) {
        auto task = Runtime::startOnMain(std::move(macro));
        return runUntil([&] { return task.isFinished(); }, timeout);
    }

    void goHome() {
        control.button("home", "press");
        ASSERT_TRUE(runUntil([&] { return screen() == "home"; }, 5s));
    }

    WorkflowTestSupport::TemporaryLibrary library;
};

TEST_F(WorkflowEngineTest, ARecordedTapReplaysToTheSameForegroundApp) {
    bootPhone();
    AsioMainScheduler scheduler(Runtime::mainContext());
    InputTestSupport::FakeHost host;
    WorkflowRecorder recorder(scheduler);
    MirrorInputController input(MirrorInputDependencies{control, scheduler, host, &recorder, {}, {}});
    input.setViewSize({390, 844});
    input.setVideoSize({390, 844});

    recorder.start();
    input.mouseDown(notesIcon);
    runFor(60ms);
    input.mouseUp(notesIcon);
    ASSERT_TRUE(runUntil([&] { return foregroundApp() == "Notes"; }, 5s)) << debugState().dump();
    Workflow recorded = recorder.stop();
    ASSERT_FALSE(recorded.steps.empty());
    EXPECT_EQ(recorded.steps.back().kind, WorkflowStep::Kind::tap);
    recorded.name = "Open Notes";

    const auto file = WorkflowStore::save(recorded);
    const Workflow loaded = WorkflowStore::load(file);
    EXPECT_EQ(loaded, recorded);

    goHome();
    EXPECT_EQ(foregroundApp(), "");
    WorkflowPlayer player; // real timers on the main executor
    bool succeeded = false;
    player.onFinished = [&](bool success) { succeeded = success; };
    player.play(loaded, control, input.touchMode());
    ASSERT_TRUE(runUntil([&] { return !player.isPlaying(); }, 10s));
    EXPECT_TRUE(succeeded);
    EXPECT_TRUE(runUntil([&] { return foregroundApp() == "Notes"; }, 5s)) << debugState().dump();
}

TEST_F(WorkflowEngineTest, OpenAppThroughSpotlightReachesCalculator) {
    bootPhone();
    const auto mode = TouchMap::Mode::portrait();
    ASSERT_TRUE(runMacro(LocalAPIMacros::openSpotlight(control, mode, false), 10s));
    runFor(300ms);
    const std::string shown = screen();
    if (shown != "spotlight") {
        GTEST_SKIP() << "The simulated phone shows no Spotlight yet (the search pill led to \"" << shown
                     << "\"); this test runs once the virtual phone has it.";
    }
    goHome();
    ASSERT_TRUE(runMacro(LocalAPIMacros::openApp("Calculator", control, mode), 60s));
    EXPECT_TRUE(runUntil([&] { return foregroundApp() == "Calculator"; }, 5s)) << debugState().dump();

    goHome();
    ASSERT_TRUE(runMacro(LocalAPIMacros::openAppCancellable("Calculator", control, mode), 60s));
    EXPECT_TRUE(runUntil([&] { return foregroundApp() == "Calculator"; }, 5s)) << debugState().dump();
}

} // namespace
