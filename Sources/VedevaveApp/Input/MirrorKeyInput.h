// The mirror's keyboard: turns host key presses into HID key presses on the phone, through keyboard
// translation for character layouts or by key position for the `physical` layout, and reports them
// for workflow recording. Remembers what each held key sent so that its release repeats it.
// Main thread only.
#pragma once

#include "ControlKit/ControlClientInterface.h"
#include "ControlKit/KeyboardTranslator.h"
#include "VedevaveApp/Input/InputRecorder.h"
#include "VedevaveApp/Input/MirrorInputHost.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace VedevaveApp {

// Host modifier bits of a key event: shift 0x01, control 0x02, option/Alt 0x04, command/Meta 0x08.
struct MirrorKeyEvent {
    uint16_t keyCode = 0;                    // the platform's key code (see HostKeyTables.h)
    std::string characters;                  // what the key types with the modifiers held
    std::string charactersIgnoringModifiers; // what it types without them
    uint8_t modifiers = 0;
    bool isRepeat = false; // auto-repeat
};

// What a key-down sent, for its key-up.
struct HeldKey {
    uint16_t usage = 0;
    std::string character;
    uint8_t mods = 0;

    bool operator==(const HeldKey&) const = default;
};

class MirrorKeyInput {
public:
    // `phoneLayout` gives the layout in force; it is asked once per key press.
    MirrorKeyInput(ControlKit::ControlClientInterface& control, MirrorInputHost& host,
                   InputRecorder* recorder, std::function<bool()> manualControlAllowed,
                   std::function<ControlKit::PhoneLayout()> phoneLayout);

    void keyDown(const MirrorKeyEvent& event);
    void keyUp(const MirrorKeyEvent& event);
    // Losing the keyboard focus: every key is released on the phone.
    void focusLost();
    // Before a touch begins: releases the phone's keys if any are held.
    void releaseHeldKeys();

    // Pastes `text` through the host clipboard (command+V down and up, then a keyboard reset).
    // False when the clipboard could not take the text; nothing is sent then.
    bool pasteThroughClipboard(std::string_view text);

    const std::map<uint16_t, HeldKey>& keysDown() const { return keysDown_; }

private:
    void pressKey(uint16_t keyCode, HeldKey held);
    void recordKey(uint16_t usage, uint8_t mods);

    ControlKit::ControlClientInterface& control_;
    MirrorInputHost& host_;
    InputRecorder* recorder_;
    std::function<bool()> manualControlAllowed_;
    std::function<ControlKit::PhoneLayout()> phoneLayout_;
    std::map<uint16_t, HeldKey> keysDown_; // by host key code
};

} // namespace VedevaveApp
