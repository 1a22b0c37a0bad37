#include "InputTestSupport.h"
#include "Support/RecordingControlClient.h"
#include "VedevaveApp/Input/MirrorInputController.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

using namespace VedevaveApp;
using namespace std::chrono_literals;
using InputTestSupport::FakeRecorder;
using TouchMap::LandscapeHome;
using TouchMap::Mode;
using Calls = std::vector<std::string>;

// A square view showing a square picture of 65535 points: one view point is one device unit, so
// expected device positions can be read off the view points (x.5 points avoid rounding edges).
class MirrorInputControllerTest : public ::testing::Test {
protected:
    MirrorInputControllerTest() {
        controller.setViewSize({65535, 65535});
        controller.setVideoSize({1000, 1000});
    }

    MirrorInputController makeController() {
        return MirrorInputController(MirrorInputDependencies{control, scheduler, host, &recorder,
                                                             DeviceGateAccess{[this] { return isGateFree; },
                                                                              [this] {
                                                                                  leases +=
                                                                                      isGateFree ? 1 : 0;
                                                                                  return isGateFree;
                                                                              },
                                                                              [this] { --leases; }},
                                                             [this] { return layout; }});
    }

    TestSupport::RecordingControlClient control;
    InputTestSupport::VirtualScheduler scheduler;
    InputTestSupport::FakeHost host;
    FakeRecorder recorder;
    bool isGateFree = true;
    int leases = 0;
    ControlKit::PhoneLayout layout = ControlKit::PhoneLayout::us;
    MirrorInputController controller = makeController();
};

TEST_F(MirrorInputControllerTest, PressDragReleaseIsOneContactInOrientationMappedCoordinates) {
    controller.setViewSize({1000, 1000});
    controller.setTouchMode(Mode::landscape(LandscapeHome::right));
    const uint64_t pressedAt = scheduler.nowNs;

    controller.mouseDown({250, 100}); // u 0.25, v 0.1
    scheduler.advance(20ms);
    controller.mouseDragged({500, 500});
    scheduler.advance(20ms);
    controller.mouseUp({500, 500});

    EXPECT_EQ(control.calls(), (Calls{
                                   "touch contact 58981 16383", // X = 1 - v, Y = u
                                   "touch contact 32767 32767",
                                   "releaseTouch 32767 32767 hold 140000 at " + std::to_string(pressedAt),
                               }));
    EXPECT_EQ(recorder.events, (Calls{"down 0.2500 0.1000", "up 0.5000 0.5000"}));
    EXPECT_TRUE(host.isFirstResponder);
    EXPECT_FALSE(controller.isTouchActive());
}

TEST_F(MirrorInputControllerTest, DragMovesAreThinnedToOnePerFrameUnlessTheyJumpFar) {
    controller.mouseDown({1000.5, 1000.5});
    control.takeCalls();

    controller.mouseDragged({1010.5, 1000.5}); // 10 units within the frame interval: dropped
    EXPECT_TRUE(control.takeCalls().empty());
    controller.mouseDragged({1063.5, 1000.5}); // 63 units: still dropped
    EXPECT_TRUE(control.takeCalls().empty());
    controller.mouseDragged({1064.5, 1000.5}); // 64 units: sent at once
    EXPECT_EQ(control.takeCalls(), (Calls{"touch contact 1064 1000"}));

    controller.mouseDragged({1070.5, 1000.5});
    EXPECT_TRUE(control.takeCalls().empty());
    scheduler.advance(16ms); // less than 1/60 s
    controller.mouseDragged({1071.5, 1000.5});
    EXPECT_TRUE(control.takeCalls().empty());
    scheduler.advance(1ms);
    controller.mouseDragged({1072.5, 1000.5});
    EXPECT_EQ(control.takeCalls(), (Calls{"touch contact 1072 1000"}));

    // A faster capture source does not thin more: the interval is that of at least 60 frames a second.
    host.frameRate = 120;
    scheduler.advance(9ms);
    controller.mouseDragged({1073.5, 1000.5});
    EXPECT_EQ(control.takeCalls(), (Calls{"touch contact 1073 1000"}));
}

TEST_F(MirrorInputControllerTest, ReleaseWithoutAUsablePictureLiftsAtTheLastPosition) {
    controller.mouseDown({1000.5, 2000.5});
    control.takeCalls();
    controller.setViewSize({0.5, 0.5});
    controller.mouseUp({5, 5});
    EXPECT_EQ(control.takeCalls(),
              (Calls{"releaseTouch 1000 2000 hold 140000 at " + std::to_string(scheduler.nowNs)}));
    EXPECT_EQ(recorder.events, (Calls{"down 0.0153 0.0305"})); // no release is recorded
}

TEST_F(MirrorInputControllerTest, ScrollFinishReportsThePictureCoordinatesInEveryMode) {
    for (auto mode : {Mode::portrait(), Mode::buffer(), Mode::landscape(LandscapeHome::left),
                      Mode::landscape(LandscapeHome::right)}) {
        controller.setTouchMode(mode);
        recorder.events.clear();
        controller.scrollWheel({{16383.5, 6553.5}, 0, 0, ScrollPhase::began});
        EXPECT_TRUE(controller.isScrollTouchActive());
        scheduler.advance(139ms);
        EXPECT_TRUE(controller.isScrollTouchActive());
        scheduler.advance(1ms); // 0.14 s after the last scroll event
        EXPECT_FALSE(controller.isTouchActive());
        EXPECT_EQ(recorder.events, (Calls{"down 0.2500 0.1000", "up 0.2500 0.1000"}));
    }
}

TEST_F(MirrorInputControllerTest, ScrollMovesTheFingerByTheDeltasAndStopsAtTheEdge) {
    controller.scrollWheel({{1000.5, 1000.5}, 0.5, 10, ScrollPhase::began});
    scheduler.advance(100ms);
    controller.scrollWheel({{1000.5, 1000.5}, 0, 1e9, ScrollPhase::changed}); // far past the top edge
    scheduler.advance(100ms); // each event pushes the finish back
    EXPECT_TRUE(controller.isScrollTouchActive());
    controller.scrollWheel({{1000.5, 1000.5}, -1, 0, ScrollPhase::ended});
    EXPECT_EQ(control.calls(), (Calls{
                                   "touch contact 1000 1000",
                                   "touch contact 980 600", // 0.5 × 40 and 10 × 40 units
                                   "touch contact 980 0",
                                   "touch contact 1020 0",
                                   "touch release 1020 0",
                               }));
    EXPECT_FALSE(controller.isScrollTouchActive());
    EXPECT_EQ(recorder.events, (Calls{"down 0.0153 0.0153", "up 0.0156 0.0000"}));
}

TEST_F(MirrorInputControllerTest, PressWhileScrollingFinishesTheScrollFirst) {
    controller.scrollWheel({{1000.5, 1000.5}, 0, 0, ScrollPhase::began});
    controller.mouseDown({3000.5, 3000.5});
    EXPECT_EQ(control.calls(), (Calls{"touch contact 1000 1000", "touch contact 1000 1000",
                                      "touch release 1000 1000", "touch contact 3000 3000"}));
    scheduler.advance(1s); // the cancelled finish does not release the new contact
    EXPECT_TRUE(controller.isTouchActive());
    EXPECT_EQ(control.calls().size(), 4u);
}

TEST_F(MirrorInputControllerTest, RefusalByTheGateBeepsAndSendsNothing) {
    isGateFree = false;
    controller.mouseDown({1000.5, 1000.5});
    controller.keyDown({30, "a", "a", 0});
    EXPECT_EQ(host.beeps, 2);
    EXPECT_TRUE(control.calls().empty());
    EXPECT_TRUE(controller.keysDown().empty());
    EXPECT_TRUE(recorder.events.empty());
}

TEST_F(MirrorInputControllerTest, GateTakenDuringAGestureCancelsTheContact) {
    controller.mouseDown({1000.5, 1000.5});
    isGateFree = false;
    controller.mouseDragged({5000.5, 5000.5});
    EXPECT_EQ(control.calls(), (Calls{"touch contact 1000 1000", "touch release 1000 1000"}));
    EXPECT_FALSE(controller.isTouchActive());
    EXPECT_FALSE(controller.touchIndicator().state().isVisible);

    control.takeCalls();
    isGateFree = true;
    controller.scrollWheel({{1000.5, 1000.5}, 0, 1, ScrollPhase::began});
    isGateFree = false;
    controller.scrollWheel({{1000.5, 1000.5}, 0, 1, ScrollPhase::changed});
    EXPECT_EQ(control.takeCalls(),
              (Calls{"touch contact 1000 1000", "touch contact 1000 960", "touch release 1000 960"}));
    EXPECT_EQ(host.beeps, 0);
}

TEST_F(MirrorInputControllerTest, PressReleasesHeldKeysBeforeTheContact) {
    controller.keyDown({42, "", "", 0x01}); // a modifier-only key is not in the tables: ignored
    controller.keyDown({30, "a", "a", 0});
    control.takeCalls();
    controller.mouseDown({1000.5, 1000.5});
    EXPECT_EQ(control.calls(), (Calls{"keyboardReset", "touch contact 1000 1000"}));
    EXPECT_TRUE(controller.keysDown().empty());
}

TEST_F(MirrorInputControllerTest, ToggleShowTouchesSavesTheSettingAndCancelsTheContact) {
    controller.mouseDown({1000.5, 1000.5});
    controller.toggleShowTouches();
    EXPECT_FALSE(host.isShowingTouches);
    EXPECT_EQ(host.statuses, (Calls{"show touches off"}));
    EXPECT_EQ(control.calls().back(), "touch release 1000 1000");

    controller.mouseDown({1000.5, 1000.5}); // touches are not shown now
    EXPECT_FALSE(controller.touchIndicator().state().isVisible);
    controller.toggleShowTouches();
    EXPECT_EQ(host.statuses.back(), "show touches on");
}

TEST_F(MirrorInputControllerTest, TouchIndicatorFadesAfterRelease) {
    const auto& indicator = controller.touchIndicator().state();
    controller.mouseDown({1000.5, 1000.5});
    ASSERT_TRUE(indicator.isVisible && indicator.dot);
    EXPECT_EQ(indicator.dot->diameter, 48);
    EXPECT_EQ(indicator.dot->fillOpacity, 0.55);
    controller.mouseUp({1000.5, 1000.5});
    EXPECT_EQ(indicator.dot->diameter, 40);
    scheduler.advance(149ms);
    EXPECT_EQ(indicator.opacity, 1);
    scheduler.advance(1ms);
    EXPECT_EQ(indicator.opacity, 0); // fading
    EXPECT_TRUE(indicator.isVisible);
    scheduler.advance(250ms);
    EXPECT_FALSE(indicator.isVisible);
    EXPECT_EQ(indicator.opacity, 1);

    // An automation gesture: the vector stays until the gesture is over.
    controller.touchIndicator().showVector({0, 0}, {100, 0}, 1000);
    ASSERT_TRUE(indicator.vector);
    EXPECT_NEAR(indicator.vector->arrowHead[0].second.x, 100 - 16 * std::cos(TouchIndicator::arrowAngle),
                1e-9);
    EXPECT_NEAR(std::abs(indicator.vector->arrowHead[0].second.y), 16 * std::sin(TouchIndicator::arrowAngle),
                1e-9);
    scheduler.advance(1149ms);
    EXPECT_EQ(indicator.opacity, 1);
    scheduler.advance(1ms);
    EXPECT_EQ(indicator.opacity, 0);
}

} // namespace
