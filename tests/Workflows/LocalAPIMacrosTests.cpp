#include "ControlKit/KeyboardTranslator.h"
#include "Support/RunCoroutine.h"
#include "VedevaveApp/LocalAPI/LocalAPIMacros.h"
#include "WorkflowTestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

using namespace VedevaveApp;
using Lines = std::vector<std::string>;
using TouchMap::Mode;

// Every operation fails the way a broken transport might: by throwing.
class ThrowingControlClient : public ControlKit::ControlClientInterface {
public:
    void touch(std::string_view, int32_t, int32_t) override { fail(); }
    void tap(int32_t, int32_t) override { fail(); }
    void releaseTouch(int32_t, int32_t, uint32_t, uint64_t) override { fail(); }
    void button(std::string_view, std::string_view) override { fail(); }
    void key(bool, uint16_t, std::string_view, uint8_t) override { fail(); }
    void instant(bool) override { fail(); }
    void musicSafe(bool) override { fail(); }
    void keyboardReset() override { fail(); }
    void swipeUp() override { fail(); }
    void swipeDown() override { fail(); }
    int attempts = 0;

private:
    void fail() {
        ++attempts;
        throw std::runtime_error("transport down");
    }
};

class LocalAPIMacrosTest : public ::testing::Test {
protected:
    LocalAPIMacrosTest() {
        ControlKit::KeyboardTranslator::setKeyboardModeSource([] { return std::string("us"); });
    }
    ~LocalAPIMacrosTest() override { ControlKit::KeyboardTranslator::setKeyboardModeSource({}); }

    void run(asio::awaitable<void> work) { TestSupport::runCoroutine(context, std::move(work)); }

    std::size_t count(std::string_view call) const {
        const auto calls = control.calls();
        return static_cast<std::size_t>(std::count(calls.begin(), calls.end(), call));
    }

    // The calls other than swipe contacts, in order.
    Lines landmarks() const {
        Lines out;
        for (const auto& line : control.timeline) {
            if (line.find("touch contact") == std::string::npos) {
                out.push_back(line);
            }
        }
        return out;
    }

    asio::io_context context;
    WorkflowTestSupport::VirtualClock clock;
    WorkflowTestSupport::TimelineControlClient control{clock};
    WorkflowPlayer player{clock.pauseFunction(), context.get_executor()};
};

TEST_F(LocalAPIMacrosTest, GoHomeRunsItsEightStepsWithFixedPauses) {
    run(LocalAPIMacros::goHome(control, Mode::portrait(), player));
    EXPECT_EQ(landmarks(), (Lines{"0 keyboardReset", "40 tap 60292 4587", "810 touch release 32767 22937",
                                  "1560 button home press", "2570 touch release 32767 26214"}));
    EXPECT_EQ(control.timeline[2], "390 touch contact 32767 64224");
    // 1,950 ms of the macro's own pauses, 800 of swipes, the tap's 240 and the settles.
    EXPECT_EQ(clock.nowMs(), 3570);
}

TEST_F(LocalAPIMacrosTest, PlainMacrosCarryOnThroughFailures) {
    ThrowingControlClient broken;
    run(LocalAPIMacros::goHome(broken, Mode::portrait(), player));
    EXPECT_EQ(broken.attempts, 4); // tap, swipe, button, swipe: each tried
    EXPECT_EQ(clock.nowMs(), 1950);
}

TEST_F(LocalAPIMacrosTest, CancellingGoHomeCancellableDuringAPauseEndsBeforeTheNextStep) {
    Runtime::Task task;
    std::exception_ptr failure;
    clock.onPause = [&](std::size_t number) {
        if (number == 3) { // the 150 ms pause after the first tap
            task.cancel();
        }
    };
    task = Runtime::Task::start(context.get_executor(),
                                LocalAPIMacros::goHomeCancellable(control, Mode::portrait(), player),
                                [&](std::exception_ptr e) { failure = e; });
    context.run();
    EXPECT_THROW(std::rethrow_exception(failure), Runtime::CancellationError);
    EXPECT_EQ(control.calls(), (Lines{"keyboardReset", "tap 60292 4587"}));
}

TEST_F(LocalAPIMacrosTest, SpotlightClearFieldAndSleep) {
    run(LocalAPIMacros::openSpotlight(control, Mode::portrait(), false, player));
    EXPECT_EQ(control.timeline, (Lines{"0 keyboardReset", "40 tap 32767 53738"}));
    EXPECT_EQ(clock.nowMs(), 240 + 1200);

    for (const int asked : {0, -4}) {
        control.timeline.clear();
        clock.now = {};
        run(LocalAPIMacros::clearField(control, asked, player));
        EXPECT_EQ(control.timeline,
                  (Lines{"0 keyboardReset", "50 key down 0x9C '' 0x00", "95 key up 0x9C '' 0x00"}));
        EXPECT_EQ(clock.nowMs(), 50 + 45 + 120 + 180);
    }
    control.timeline.clear();
    clock.now = {};
    run(LocalAPIMacros::clearField(control, 50, player));
    EXPECT_EQ(count("key down 0x2A '' 0x00"), 20u);
    EXPECT_EQ(count("key up 0x2A '' 0x00"), 20u);
    EXPECT_EQ(clock.nowMs(), 50 + 45 + 120 + 20 * 80 + 180);

    clock.now = {};
    run(LocalAPIMacros::sleepMs(0, player));
    run(LocalAPIMacros::sleepMs(-5, player));
    EXPECT_EQ(clock.nowMs(), 0);
    run(LocalAPIMacros::sleepMs(250, player));
    EXPECT_EQ(clock.nowMs(), 250);
}

TEST_F(LocalAPIMacrosTest, OpenAppTypesTheNameIntoSpotlightAndSendsAllThreeOpeners) {
    run(LocalAPIMacros::openApp("   \n", control, Mode::portrait(), player));
    EXPECT_TRUE(control.timeline.empty());
    EXPECT_EQ(clock.nowMs(), 0);

    run(LocalAPIMacros::openApp(" Calc ", control, Mode::portrait(), player));
    Lines typed;
    Lines order;
    for (const auto& call : control.calls()) {
        if (call.starts_with("key down") && call.find("''") == std::string::npos) {
            typed.push_back(call);
        }
        if (call.starts_with("tap") || call == "key down 0x28 '' 0x00" || call == "key down 0x9C '' 0x00") {
            order.push_back(call);
        }
    }
    EXPECT_EQ(typed, (Lines{"key down 0x06 'C' 0x01", "key down 0x04 'a' 0x00", "key down 0x0F 'l' 0x00",
                            "key down 0x06 'c' 0x00"}));
    EXPECT_EQ(order, (Lines{"tap 60292 4587", "tap 32767 53738", "key down 0x9C '' 0x00", "tap 11796 11796",
                            "tap 51117 58981", "key down 0x28 '' 0x00"}));
    EXPECT_EQ(count("key down 0x2A '' 0x00"), 12u);
    // No keyboard reset right before the typing: the field keeps its focus.
    const auto calls = control.calls();
    const auto firstTyped = std::find(calls.begin(), calls.end(), "key down 0x06 'C' 0x01");
    ASSERT_NE(firstTyped, calls.end());
    EXPECT_EQ(*(firstTyped - 1), "key up 0x2A '' 0x00");
}

TEST_F(LocalAPIMacrosTest, OpenAppCancellableSendsAtLeastTwelveAndAtMostTwentyBackspaces) {
    const std::vector<std::pair<std::string, std::size_t>> cases{
        {"Abc", 12}, {std::string(15, 'x'), 15}, {std::string(30, 'y'), 20}};
    for (const auto& [name, backspaces] : cases) {
        control.timeline.clear();
        run(LocalAPIMacros::openAppCancellable(name, control, Mode::portrait(), player));
        EXPECT_EQ(count("key down 0x2A '' 0x00"), backspaces) << name;
        EXPECT_EQ(count("key down 0x28 '' 0x00"), 1u);
        EXPECT_EQ(count("tap 51117 58981"), 1u);
    }
}

} // namespace
