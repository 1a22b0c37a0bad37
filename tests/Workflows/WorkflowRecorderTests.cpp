#include "Input/InputTestSupport.h"
#include "VedevaveApp/Workflows/WorkflowRecorder.h"
#include "VedevaveApp/Workflows/WorkflowTiming.h"

#include <gtest/gtest.h>

namespace {

using namespace VedevaveApp;
using namespace std::chrono_literals;
using Steps = std::vector<WorkflowStep>;

class WorkflowRecorderTest : public ::testing::Test {
protected:
    ~WorkflowRecorderTest() override { WorkflowTiming::setLatencyProvider({}); }

    void measureRoundTrip(double ms) {
        WorkflowTiming::setLatencyProvider([ms] { return WorkflowTiming::LatencyPercentiles{ms / 2, ms}; });
    }

    void click(double x, double y, std::chrono::milliseconds held = 100ms) {
        recorder.touchDown(x, y);
        scheduler.advance(held);
        recorder.touchUp(x, y);
    }

    InputTestSupport::VirtualScheduler scheduler;
    // 2026-03-01 14:05:09 UTC.
    std::chrono::system_clock::time_point wallTime{std::chrono::seconds(1772373909)};
    WorkflowRecorder recorder{scheduler, [this] { return wallTime; }};
};

TEST_F(WorkflowRecorderTest, APauseThenAClickIsAWaitAndATapCompensatedByHalfTheRoundTrip) {
    recorder.start();
    scheduler.advance(1000ms);
    recorder.touchDown(0.4, 0.6);
    scheduler.advance(100ms);
    recorder.touchUp(0.41, 0.61); // moved 0.02 in all: still a tap, at the press position
    const Workflow plain = recorder.stop();
    EXPECT_EQ(plain.steps, (Steps{WorkflowStep::wait(1000), WorkflowStep::tap(0.4, 0.6)}));
    EXPECT_FALSE(plain.latencyP95Ms);
    EXPECT_TRUE(plain.name.starts_with("Recording "));
    EXPECT_EQ(plain.name.size(), std::string("Recording 140509").size());
    EXPECT_EQ(plain.createdAt, "2026-03-01T14:05:09Z");

    measureRoundTrip(200);
    recorder.start();
    scheduler.advance(1000ms);
    click(0.4, 0.6);
    const Workflow compensated = recorder.stop();
    EXPECT_EQ(compensated.steps, (Steps{WorkflowStep::wait(900), WorkflowStep::tap(0.4, 0.6)}));
    EXPECT_EQ(compensated.latencyP95Ms, 200);
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(recorder.steps().size(), 2u); // kept until the next start
}

TEST_F(WorkflowRecorderTest, MovementOrHoldingMakesASwipe) {
    recorder.start();
    recorder.touchDown(0.5, 0.5);
    recorder.touchUp(0.52, 0.52); // 0.04 at once
    recorder.touchDown(0.3, 0.3);
    scheduler.advance(500ms); // held still
    recorder.touchUp(0.3, 0.3);
    recorder.touchDown(0.1, 0.9);
    scheduler.advance(12s); // a press held past the longest swipe a workflow may keep
    recorder.touchUp(0.1, 0.2);
    recorder.touchUp(0.1, 0.2); // a release without a press records nothing
    EXPECT_EQ(recorder.stop().steps, (Steps{WorkflowStep::swipe(0.5, 0.5, 0.52, 0.52, 150),
                                            WorkflowStep::swipe(0.3, 0.3, 0.3, 0.3, 500),
                                            WorkflowStep::swipe(0.1, 0.9, 0.1, 0.2, 10'000)}));
}

TEST_F(WorkflowRecorderTest, GapsBelowTheMinimumAreDroppedAndLongOnesCapped) {
    recorder.start();
    scheduler.advance(79ms);
    click(0.5, 0.5, 10ms);
    scheduler.advance(12s);
    recorder.recordKey(0x28, 0);
    scheduler.advance(80ms);
    recorder.button("home");
    EXPECT_EQ(recorder.stop().steps,
              (Steps{WorkflowStep::tap(0.5, 0.5), WorkflowStep::wait(5000), WorkflowStep::key(0x28, 0),
                     WorkflowStep::wait(80), WorkflowStep::button("home")}));
}

TEST_F(WorkflowRecorderTest, TypingGathersIntoOneStepFlushedAfterAPause) {
    recorder.start();
    recorder.typed("a");
    scheduler.advance(10ms);
    recorder.typed("b");
    scheduler.advance(10ms);
    recorder.typed("c");
    scheduler.advance(449ms);
    EXPECT_TRUE(recorder.steps().empty());
    scheduler.advance(1ms);
    EXPECT_EQ(recorder.steps(), (Steps{WorkflowStep::type("abc")}));
    scheduler.advance(550ms);
    click(0.5, 0.5);
    EXPECT_EQ(recorder.stop().steps,
              (Steps{WorkflowStep::type("abc"), WorkflowStep::wait(1000), WorkflowStep::tap(0.5, 0.5)}));

    // A pause within typing goes ahead of the characters still buffered.
    recorder.start();
    recorder.typed("ab");
    scheduler.advance(300ms);
    recorder.typed("c");
    EXPECT_EQ(recorder.stop().steps, (Steps{WorkflowStep::wait(300), WorkflowStep::type("abc")}));

    // A key flushes the buffer at once.
    recorder.start();
    recorder.typed("x");
    recorder.recordKey(0x2B, 0x01);
    scheduler.advance(1s);
    EXPECT_EQ(recorder.steps(), (Steps{WorkflowStep::type("x"), WorkflowStep::key(0x2B, 0x01)}));
}

TEST_F(WorkflowRecorderTest, LongTextIsCutToTheLimitsOfOneTypeStep) {
    recorder.start();
    recorder.typed(std::string(10'000, 'p'));
    recorder.typed(std::string(100, 'q')); // would overflow the buffer: the buffer goes first
    std::string wide;
    for (int i = 0; i < 9000; ++i) {
        wide += "\U0001F600";
    }
    recorder.typed(wide);
    scheduler.advance(1s);
    const auto steps = recorder.stop().steps;
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[0], WorkflowStep::type(std::string(8192, 'p')));
    EXPECT_EQ(steps[1], WorkflowStep::type(std::string(100, 'q')));
    EXPECT_EQ(steps[2].text->size(), 32'768u); // 8192 four-byte characters
}

TEST_F(WorkflowRecorderTest, DockPanelsAreIgnoredAndTheStepLimitHolds) {
    int changes = 0;
    std::vector<std::size_t> added;
    recorder.onChanged = [&] { ++changes; };
    recorder.onStepAdded = [&](const WorkflowStep&, std::size_t index) { added.push_back(index); };
    recorder.button("home"); // not recording
    recorder.start();
    for (const char* panel :
         {"settings", "agent", "workflow", "perf", "screenshot", "record", "pasteclip", "music", "instant"}) {
        recorder.button(panel);
    }
    EXPECT_TRUE(recorder.steps().empty());
    for (int i = 0; i < 2049; ++i) {
        recorder.button("lock");
    }
    EXPECT_EQ(recorder.steps().size(), 2048u);
    EXPECT_EQ(added.size(), 2048u);
    EXPECT_EQ(added.back(), 2047u);
    EXPECT_EQ(changes, 1 + 2048);
    recorder.stop();
    EXPECT_EQ(changes, 2 + 2048);
}

} // namespace
