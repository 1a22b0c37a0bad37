// The mirror's pointer and keyboard input, independent of the desktop toolkit: a press, drag and
// release on the picture become one touch contact on the phone; a two-finger scroll becomes a
// synthetic swipe; key presses go to MirrorKeyInput. Refused while an unattended actor holds the
// device action gate; every gesture is reported for workflow recording. Also the menu commands
// "Paste Mac Clipboard" and "Toggle Show Touches".
//
// The video view feeds it its events with positions in view coordinates (TouchMap.h). Main thread
// only; the scroll finish and the indicator fade run on the main thread through the scheduler.
#pragma once

#include "ControlKit/ControlClientInterface.h"
#include "ControlKit/KeyboardTranslator.h"
#include "VedevaveApp/Input/InputRecorder.h"
#include "VedevaveApp/Input/MainScheduler.h"
#include "VedevaveApp/Input/MirrorInputHost.h"
#include "VedevaveApp/Input/MirrorKeyInput.h"
#include "VedevaveApp/Input/TouchIndicator.h"
#include "VedevaveApp/Input/TouchMap.h"

#include <functional>
#include <optional>

namespace VedevaveApp {

enum class ScrollPhase { none, began, changed, ended, cancelled };

struct ScrollEvent {
    TouchMap::Point location; // view coordinates
    // Precise scrolling deltas in points, positive to the right and downward content movement as the
    // toolkit reports them.
    double deltaX = 0;
    double deltaY = 0;
    ScrollPhase phase = ScrollPhase::none;
    ScrollPhase momentumPhase = ScrollPhase::none;
};

struct MirrorInputDependencies {
    ControlKit::ControlClientInterface& control;
    MainScheduler& scheduler;
    MirrorInputHost& host;
    InputRecorder* recorder = nullptr; // none: nothing is reported
    DeviceGateAccess gate;
    // The phone layout in force; unset means KeyboardTranslator::phoneLayout.
    std::function<ControlKit::PhoneLayout()> phoneLayout;
};

class MirrorInputController {
public:
    // The contact lasts at least this long on the phone, so that a quick click is seen as a tap.
    static constexpr uint32_t minimumHoldUs = 140'000;
    // A scroll without an end phase is finished this long after its last event.
    static constexpr std::chrono::milliseconds scrollFinishDelay{140};
    // A drag move this long (Manhattan distance, device units) is sent even within one frame interval.
    static constexpr int32_t dragJumpDistance = 64;
    static constexpr double scrollDeltaScale = 40;

    // Status chip texts.
    static constexpr std::string_view statusGateBusy = "agent action in progress";
    static constexpr std::string_view statusClipboardEmpty = "clipboard empty";
    static constexpr std::string_view statusPasteFailed = "paste failed";
    static constexpr std::string_view statusShowTouchesOn = "show touches on";
    static constexpr std::string_view statusShowTouchesOff = "show touches off";

    explicit MirrorInputController(MirrorInputDependencies dependencies);

    // Geometry, kept up to date by the video view.
    void setViewSize(TouchMap::Size size) { viewSize_ = size; }
    void setVideoSize(TouchMap::Size size) { videoSize_ = size; }
    void setTouchMode(TouchMap::Mode mode) { touchMode_ = mode; }
    TouchMap::Mode touchMode() const { return touchMode_; }

    // Pointer events at view points.
    void mouseDown(TouchMap::Point location);
    void mouseDragged(TouchMap::Point location);
    void mouseUp(TouchMap::Point location);
    void scrollWheel(const ScrollEvent& event);
    // Ends a contact in progress without recording it (agent takes over, live resize, touches hidden).
    void cancelActiveTouch();

    void keyDown(const MirrorKeyEvent& event) { keys_.keyDown(event); }
    void keyUp(const MirrorKeyEvent& event) { keys_.keyUp(event); }
    void focusLost() { keys_.focusLost(); }

    // Menu commands.
    void pasteMacClipboard();
    void toggleShowTouches();

    // Device coordinates of a view point under the current touch mode, or absent.
    std::optional<TouchMap::DevicePoint> norm(TouchMap::Point location) const;
    std::optional<TouchMap::Point> contentUV(TouchMap::Point location) const;
    TouchMap::Point contentPoint(double x, double y) const;

    bool isTouchActive() const { return activeTouch_; }
    bool isScrollTouchActive() const { return scrollTouchActive_; }
    const std::map<uint16_t, HeldKey>& keysDown() const { return keys_.keysDown(); }
    TouchIndicator& touchIndicator() { return touchIndicator_; }

private:
    bool isManualControlAllowed() const;
    void finishScrollTouch();
    void storePosition(TouchMap::DevicePoint position);
    TouchMap::DevicePoint lastPositionOrOrigin() const;

    ControlKit::ControlClientInterface& control_;
    MainScheduler& scheduler_;
    MirrorInputHost& host_;
    InputRecorder* recorder_;
    DeviceGateAccess gate_;
    MirrorKeyInput keys_;
    TouchIndicator touchIndicator_;

    TouchMap::Size viewSize_;
    TouchMap::Size videoSize_;
    TouchMap::Mode touchMode_ = TouchMap::Mode::portrait();

    bool activeTouch_ = false;
    bool scrollTouchActive_ = false;
    uint64_t lastDragSentNs_;
    int32_t lastDragX_ = -1;
    int32_t lastDragY_ = -1;
    uint64_t touchPressedAtNs_ = 0;
    ScheduledTask scrollReleaseWork_;
};

} // namespace VedevaveApp
