// What the mirror's input logic needs from the application around it: the window's state, the
// alert sound and status chip, settings, and the device action gate. The desktop interface (and
// tests) implement it. Called on the main thread only.
#pragma once

#include <functional>
#include <string_view>

namespace VedevaveApp {

class MirrorInputHost {
public:
    virtual ~MirrorInputHost() = default;

    // The system alert sound: input was refused.
    virtual void beep() = 0;
    // A short lower-case phrase in the status chip over the mirror.
    virtual void showStatus(std::string_view text) = 0;
    virtual bool isInLiveResize() const = 0;
    // Gives the video view the keyboard focus.
    virtual void makeFirstResponder() = 0;
    // Frames per second of the screen-capture source; drag positions are thinned to its frame interval.
    virtual int captureFrameRate() const = 0;
    // The "show touches" setting.
    virtual bool showTouches() const = 0;
    virtual void setShowTouches(bool isOn) = 0;
};

// The device action gate as the mirror sees it. Unset functions mean no gate: always allowed.
struct DeviceGateAccess {
    // True exactly when no unattended actor (agent batch, workflow playback) holds the gate.
    std::function<bool()> manualControlAllowed;
    // A short manual lease, for the clipboard paste; false when an exclusive owner holds the gate.
    std::function<bool()> beginManualLease;
    std::function<void()> endManualLease;
};

} // namespace VedevaveApp
