#include "ControlKit/KeyboardTranslator.h"
#include "Input/InputTestSupport.h"
#include "Support/RunCoroutine.h"
#include "VedevaveApp/Workflows/WorkflowPlayer.h"
#include "VedevaveApp/Workflows/WorkflowTiming.h"
#include "WorkflowTestSupport.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <thread>

namespace {

using namespace VedevaveApp;
using Lines = std::vector<std::string>;
using TouchMap::Mode;

class WorkflowPlayerTest : public ::testing::Test {
protected:
    WorkflowPlayerTest() {
        ControlKit::KeyboardTranslator::setKeyboardModeSource([] { return std::string("us"); });
        Platform::Environment::unset("VEDEVAVE_KB_PASTE");
        Platform::setGeneralClipboard(clipboard);
    }
    ~WorkflowPlayerTest() override {
        ControlKit::KeyboardTranslator::setKeyboardModeSource({});
        WorkflowTiming::setLatencyProvider({});
        Platform::setGeneralClipboard(nullptr);
        Platform::Environment::unset("VEDEVAVE_KB_PASTE");
    }

    void measureRoundTrip(double ms) {
        WorkflowTiming::setLatencyProvider([ms] { return WorkflowTiming::LatencyPercentiles{ms / 3, ms}; });
    }

    void run(const WorkflowStep& step, std::optional<int64_t> fallback = std::nullopt,
             Mode mode = Mode::portrait()) {
        TestSupport::runCoroutine(context, player.run(step, control, mode, true, fallback));
    }

    // Runs `work` as a task that a pause hook may cancel; returns whether it ended cancelled.
    bool runAsTask(asio::awaitable<void> work, std::size_t cancelAtPause) {
        Runtime::Task task;
        std::exception_ptr failure;
        clock.pauses.clear();
        clock.onPause = [&](std::size_t number) {
            if (number == cancelAtPause) {
                task.cancel();
            }
        };
        task = Runtime::Task::start(context.get_executor(), std::move(work),
                                    [&](std::exception_ptr e) { failure = e; });
        context.restart();
        context.run();
        clock.onPause = nullptr;
        if (!failure) {
            return false;
        }
        try {
            std::rethrow_exception(failure);
        } catch (const Runtime::CancellationError&) {
            return true;
        }
    }

    asio::io_context context;
    WorkflowTestSupport::VirtualClock clock;
    WorkflowTestSupport::TimelineControlClient control{clock};
    WorkflowPlayer player{clock.pauseFunction(), context.get_executor()};
    std::shared_ptr<InputTestSupport::MemoryClipboard> clipboard =
        std::make_shared<InputTestSupport::MemoryClipboard>();
};

TEST(WorkflowTiming, RulesWithAndWithoutAMeasurement) {
    using namespace WorkflowTiming;
    setLatencyProvider({});
    EXPECT_EQ(roundTripMilliseconds(), 0);
    EXPECT_EQ(roundTripMilliseconds(150), 150);
    EXPECT_EQ(roundTripMilliseconds(-1), 0);
    EXPECT_EQ(normalizeRecordedGap(1000, 150), 925);
    EXPECT_EQ(normalizeRecordedGap(50, 150), 0);
    EXPECT_EQ(playbackWait(30, 150), 40);
    EXPECT_EQ(postTapSettle(std::nullopt), 120);
    EXPECT_EQ(postTapSettle(-5), 120);
    EXPECT_EQ(postButtonSettle(150), 210);
    setLatencyProvider([] { return LatencyPercentiles{300.9, 120}; });
    EXPECT_EQ(roundTripMilliseconds(150), 300);
    EXPECT_EQ(playbackWait(1000, std::nullopt), 850);
    EXPECT_EQ(postTapSettle(150), 380);
    setLatencyProvider([] { return LatencyPercentiles{std::nan(""), -4}; });
    EXPECT_EQ(roundTripMilliseconds(70), 70);
    setLatencyProvider([] { return LatencyPercentiles{1e300, 0}; });
    EXPECT_EQ(postTapSettle(std::nullopt), 3'600'080);
    EXPECT_EQ(playbackWait(std::numeric_limits<int64_t>::min(), 0), 40);
    setLatencyProvider({});
}

TEST_F(WorkflowPlayerTest, PacingOfEveryStepWithAndWithoutLatencyFallback) {
    struct Row {
        const char* what;
        WorkflowStep step;
        std::optional<int64_t> fallback;
        double measuredMs; // 0: nothing measured
        int64_t expectedMs;
    };
    const WorkflowStep bareWait = WorkflowTestSupport::bareStep(WorkflowStep::Kind::wait);
    const std::vector<Row> rows{
        {"tap", WorkflowStep::tap(0.5, 0.5), std::nullopt, 0, 40 + 200},
        {"tap ignores a measurement without fallback", WorkflowStep::tap(0.5, 0.5), std::nullopt, 300,
         40 + 200},
        {"tap with recorded latency", WorkflowStep::tap(0.5, 0.5), 150, 0, 40 + 230},
        {"tap with measured latency", WorkflowStep::tap(0.5, 0.5), 150, 300, 40 + 380},
        {"tap with a tiny fallback", WorkflowStep::tap(0.5, 0.5), 1, 0, 40 + 120},
        {"button", WorkflowStep::button("home"), std::nullopt, 0, 180},
        {"button with recorded latency", WorkflowStep::button("home"), 150, 0, 210},
        {"button with measured latency", WorkflowStep::button("home"), 150, 300, 360},
        {"wait of 10", WorkflowStep::wait(10), std::nullopt, 0, 40},
        {"wait without ms", bareWait, std::nullopt, 0, 40},
        {"wait of 1000", WorkflowStep::wait(1000), std::nullopt, 0, 1000},
        {"wait with recorded latency", WorkflowStep::wait(1000), 150, 0, 925},
        {"wait with measured latency", WorkflowStep::wait(1000), 150, 300, 850},
        {"short wait with fallback", WorkflowStep::wait(30), 150, 0, 40},
        {"key without modifiers", WorkflowStep::key(0x28, 0), std::nullopt, 0, 20 + 50 + 40},
        {"key with command", WorkflowStep::key(0x04, 8), 150, 300, 50 + 40},
        {"type of three characters", WorkflowStep::type("abc"), 150, 300, 60 + 3 * 100 + 120},
        {"swipe of 800 ms", WorkflowStep::swipe(0, 0, 1, 1, 800), std::nullopt, 0, 800 + 200},
        {"swipe with latency", WorkflowStep::swipe(0, 0, 1, 1, 800), 150, 300, 800 + 380},
    };
    for (const auto& row : rows) {
        if (row.measuredMs > 0) {
            measureRoundTrip(row.measuredMs);
        } else {
            WorkflowTiming::setLatencyProvider({});
        }
        clock.now = {};
        run(row.step, row.fallback);
        EXPECT_EQ(clock.nowMs(), row.expectedMs) << row.what;
    }
}

TEST_F(WorkflowPlayerTest, TapsKeysAndButtonsSendTheirCallsAtTheRightMoments) {
    run(WorkflowStep::tap(0.5, 0.5));
    run(WorkflowStep::tap(0, 0), std::nullopt, Mode::landscape(TouchMap::LandscapeHome::right));
    const WorkflowStep centre =
        WorkflowTestSupport::bareStep(WorkflowStep::Kind::tap); // absent coordinates aim at the centre
    run(centre);
    EXPECT_EQ(control.timeline, (Lines{"0 keyboardReset", "40 tap 32767 32767", "240 keyboardReset",
                                       "280 tap 65535 0", "480 keyboardReset", "520 tap 32767 32767"}));

    control.timeline.clear();
    clock.now = {};
    run(WorkflowStep::key(0x28, 0));
    run(WorkflowStep::key(0x04, 8));
    EXPECT_EQ(
        control.timeline,
        (Lines{"0 keyboardReset", "20 key down 0x28 '' 0x00", "70 key up 0x28 '' 0x00", "70 keyboardReset",
               "110 key down 0x04 '' 0x08", "160 key up 0x04 '' 0x08", "160 keyboardReset"}));

    control.timeline.clear();
    WorkflowStep oversized = WorkflowStep::key(4, 0);
    oversized.usage = 70'000;
    run(oversized); // refused: nothing reaches the phone
    for (const char* name : {"apps", "cc", "home", "screenshot"}) {
        run(WorkflowStep::button(name));
    }
    run(WorkflowTestSupport::bareStep(WorkflowStep::Kind::button));
    EXPECT_EQ(control.calls(),
              (Lines{"swipeUp", "swipeDown", "button home press", "button screenshot press"}));
}

TEST_F(WorkflowPlayerTest, SwipesAreSentInSegmentsOfSixteenMilliseconds) {
    run(WorkflowStep::swipe(0, 0, 1, 1, 800));
    ASSERT_EQ(control.timeline.size(), 1u + 50u + 1u);
    EXPECT_EQ(control.timeline[0], "0 touch contact 0 0");
    EXPECT_EQ(control.timeline[1], "0 touch contact 1310 1310");
    EXPECT_EQ(control.timeline[2], "16 touch contact 2621 2621");
    EXPECT_EQ(control.timeline[50], "784 touch contact 65535 65535");
    EXPECT_EQ(control.timeline[51], "800 touch release 65535 65535");

    struct Shape {
        std::optional<int64_t> ms;
        std::size_t segments;
        int64_t segmentNs;
    };
    for (const Shape& shape : {Shape{std::nullopt, 17, 280'000'000 / 17}, Shape{100, 7, 120'000'000 / 7},
                               Shape{127, 7, 127'000'000 / 7}, Shape{10'000, 625, 16'000'000}}) {
        control.timeline.clear();
        clock.pauses.clear();
        WorkflowStep swipe = WorkflowStep::swipe(0.5, 0.9, 0.5, 0.1, 0);
        swipe.ms = shape.ms;
        run(swipe);
        EXPECT_EQ(control.timeline.size(), shape.segments + 2) << shape.segments;
        ASSERT_EQ(clock.pauses.size(), shape.segments + 1);
        EXPECT_EQ(clock.pauses.front().count(), shape.segmentNs);
        EXPECT_EQ(clock.pauses.back(), std::chrono::milliseconds(200));
    }
}

TEST_F(WorkflowPlayerTest, CancellingMidSwipeReleasesAtTheLastPointSent) {
    const WorkflowStep swipe = WorkflowStep::swipe(0, 0, 1, 1, 800);
    EXPECT_TRUE(runAsTask(player.run(swipe, control, Mode::portrait(), true, std::nullopt), 3));
    EXPECT_EQ(control.timeline,
              (Lines{"0 touch contact 0 0", "0 touch contact 1310 1310", "16 touch contact 2621 2621",
                     "32 touch contact 3932 3932", "48 touch release 3932 3932"}));
}

TEST_F(WorkflowPlayerTest, CancellingMidKeyOrMidTypingLiftsTheKey) {
    EXPECT_TRUE(
        runAsTask(player.run(WorkflowStep::key(0x04, 8), control, Mode::portrait(), true, std::nullopt), 1));
    EXPECT_EQ(control.timeline, (Lines{"0 key down 0x04 '' 0x08", "50 key up 0x04 '' 0x08"}));

    control.timeline.clear();
    clock.now = {};
    EXPECT_TRUE(runAsTask(player.runType("ab", control, false, true), 1));
    EXPECT_EQ(control.timeline, (Lines{"0 key down 0x04 'a' 0x00", "45 key up 0x04 'a' 0x00"}));

    // Not cancellable: the step runs to its end, the pauses cut short.
    control.timeline.clear();
    clock.now = {};
    EXPECT_FALSE(runAsTask(
        player.run(WorkflowStep::tap(0.5, 0.5), control, Mode::portrait(), false, std::nullopt), 1));
    EXPECT_EQ(control.timeline, (Lines{"0 keyboardReset", "40 tap 32767 32767"}));
    EXPECT_EQ(clock.nowMs(), 40);
}

TEST_F(WorkflowPlayerTest, TypingResolvesFoldsAndFallsBackToTheClipboard) {
    TestSupport::runCoroutine(context, player.runType("\u00E9A\u2460", control, true, true));
    EXPECT_EQ(control.timeline, (Lines{"0 keyboardReset", "60 key down 0x08 '\u00E9' 0x00",
                                       "105 key up 0x08 '\u00E9' 0x00", "160 key down 0x04 'A' 0x01",
                                       "205 key up 0x04 'A' 0x01", "260 key down 0x19 '\u2460' 0x08",
                                       "305 key up 0x19 '\u2460' 0x08", "305 keyboardReset"}));
    EXPECT_EQ(clock.nowMs(), 60 + 3 * 100 + 120);
    EXPECT_EQ(clipboard->text, "\u2460");

    // With pasting off an unmapped character is skipped, keeping its 55 ms.
    Platform::Environment::set("VEDEVAVE_KB_PASTE", " Off ");
    control.timeline.clear();
    clock.now = {};
    TestSupport::runCoroutine(context, player.runType("\u2460", control, false, true));
    EXPECT_TRUE(control.timeline.empty());
    EXPECT_EQ(clock.nowMs(), 55 + 120);
}

TEST_F(WorkflowPlayerTest, PlayReportsEveryStepAndFinishes) {
    std::vector<std::string> events;
    player.onStarted = [&](const Workflow& w) { events.push_back("started " + w.name); };
    player.onStepHighlight = [&](const WorkflowStep&, std::size_t i) {
        events.push_back("highlight " + std::to_string(i));
    };
    player.onProgress = [&](std::size_t i, std::size_t n, const std::string& summary) {
        events.push_back(std::to_string(i) + "/" + std::to_string(n) + " " + summary);
    };
    player.onFinished = [&](bool success) {
        events.push_back(success ? "finished" : "stopped");
        EXPECT_FALSE(player.isPlaying());
    };
    Workflow workflow("Demo", {WorkflowStep::tap(0.5, 0.8), WorkflowStep::wait(1000)}, 150);
    player.play(workflow, control, Mode::portrait());
    EXPECT_TRUE(player.isPlaying());
    EXPECT_EQ(player.playbackLatencyP95(), 150);
    player.play(Workflow("Other", {}, std::nullopt), control, Mode::portrait()); // ignored
    context.run();
    EXPECT_EQ(events, (Lines{"started Demo", "highlight 0", "1/2 Tap 50%, 80%", "highlight 1",
                             "2/2 Pause 1.0s", "finished"}));
    EXPECT_EQ(clock.nowMs(), 40 + 230 + 925); // the recorded latency paces the playback
    EXPECT_FALSE(player.currentWorkflow());
    EXPECT_FALSE(player.playbackTask().isValid());

    events.clear();
    player.play(Workflow("Empty", {}, std::nullopt), control, Mode::portrait());
    context.restart();
    context.run();
    EXPECT_EQ(events, (Lines{"started Empty", "finished"}));
}

TEST_F(WorkflowPlayerTest, CancellingPlaybackMidSwipeReleasesAndReportsFailure) {
    std::optional<bool> result;
    player.onFinished = [&](bool success) { result = success; };
    player.play(
        Workflow("Swipe", {WorkflowStep::swipe(0, 0, 1, 1, 800), WorkflowStep::tap(0.5, 0.5)}, std::nullopt),
        control, Mode::portrait());
    clock.onPause = [&](std::size_t number) {
        if (number == 2) {
            player.playbackTask().cancel();
        }
    };
    context.run();
    EXPECT_EQ(result, false);
    EXPECT_EQ(control.timeline.back(), "32 touch release 2621 2621");
    EXPECT_FALSE(player.isPlaying());
}

} // namespace

namespace {

// Notes the thread of every call.
class ThreadNotingControlClient : public TestSupport::RecordingControlClient {
public:
    void tap(int32_t x, int32_t y) override {
        note();
        RecordingControlClient::tap(x, y);
    }
    void key(bool down, uint16_t usage, std::string_view character, uint8_t mods) override {
        note();
        RecordingControlClient::key(down, usage, character, mods);
    }
    void keyboardReset() override {
        note();
        RecordingControlClient::keyboardReset();
    }
    std::vector<std::thread::id> threads; // written on the home thread only

private:
    void note() { threads.push_back(std::this_thread::get_id()); }
};

TEST(WorkflowPlayerExecutors, RunAndRunTypeHopToTheHomeExecutorAndBack) {
    ControlKit::KeyboardTranslator::setKeyboardModeSource([] { return std::string("us"); });
    asio::io_context home;
    auto keepRunning = asio::make_work_guard(home);
    std::thread homeThread([&] { home.run(); });
    WorkflowTestSupport::VirtualClock clock;
    ThreadNotingControlClient control;
    WorkflowPlayer player(clock.pauseFunction(), home.get_executor());

    asio::io_context caller;
    std::vector<std::thread::id> resumedOn;
    auto work = [&]() -> asio::awaitable<void> {
        co_await player.run(WorkflowStep::tap(0.5, 0.5), control, Mode::portrait(), true, std::nullopt);
        resumedOn.push_back(std::this_thread::get_id());
        co_await player.runType("a", control, true, true);
        resumedOn.push_back(std::this_thread::get_id());
    };
    TestSupport::runCoroutine(caller, work());
    const auto homeID = homeThread.get_id();
    keepRunning.reset();
    homeThread.join();
    ControlKit::KeyboardTranslator::setKeyboardModeSource({});

    EXPECT_EQ(control.calls().size(), 5u);
    for (const auto& thread : control.threads) {
        EXPECT_EQ(thread, homeID);
    }
    EXPECT_EQ(resumedOn, (std::vector<std::thread::id>(2, std::this_thread::get_id())));
}

} // namespace
