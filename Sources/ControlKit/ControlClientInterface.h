// The operations that move the phone, as every actor sees them: mirror input, the dock, the workflow
// player, the local API macros and the agent. The real ControlClient implements this interface and
// test fakes (tests/Support/RecordingControlClient.h) implement it too, so that an actor can be
// tested without an engine.
//
// Every operation is fire-and-forget: it reports no error to the caller. Implementations may be
// called from any thread and must keep the call order per client. Coordinates are in the phone's
// 16-bit touch space: 0 to 65535 on each axis, x to the right and y downward from the top-left
// corner of the portrait screen.
#pragma once

#include <cstdint>
#include <string_view>

namespace ControlKit {

// Modifier bits of key messages and chords.
inline constexpr uint8_t modifierShift = 0x01;
inline constexpr uint8_t modifierControl = 0x02;
inline constexpr uint8_t modifierOption = 0x04;
inline constexpr uint8_t modifierCommand = 0x08;

class ControlClientInterface {
public:
    virtual ~ControlClientInterface() = default;

    // `type` is "contact" (the first begins a contact, later ones move it) or "release".
    virtual void touch(std::string_view type, int32_t x, int32_t y) = 0;
    // A complete tap at one position, with the engine's standard hold.
    virtual void tap(int32_t x, int32_t y) = 0;
    // Lifts the contact, delayed if needed so that it lasted at least `minHoldUs` microseconds from
    // `pressedAt` (nanoseconds of the monotonic clock, Runtime::monotonicNow). May block the caller
    // on the fallback path.
    virtual void releaseTouch(int32_t x, int32_t y, uint32_t minHoldUs, uint64_t pressedAt) = 0;
    // A hardware button ("home", "lock", ...); `state` "press" sends a press and then a release.
    virtual void button(std::string_view name, std::string_view state) = 0;
    // One key transition: HID keyboard usage, the typed character (may be empty) and modifiers.
    virtual void key(bool down, uint16_t usage, std::string_view character, uint8_t mods) = 0;
    virtual void instant(bool hard) = 0;
    virtual void musicSafe(bool on) = 0;
    // Releases every key the engine holds down.
    virtual void keyboardReset() = 0;
    // Canned swipes: six touches 20 ms apart, the release last.
    virtual void swipeUp() = 0;
    virtual void swipeDown() = 0;
};

} // namespace ControlKit
