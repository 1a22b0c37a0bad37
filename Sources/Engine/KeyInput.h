// Turns key messages into editing commands: tracks the keys held down (a modifier key held
// down counts as its modifier bit, like a real keyboard's), resolves printable keys through the
// phone's keyboard layout, and names the editing keys. A keyboard reset releases every held key.
// Pure; io thread only.
#pragma once

#include "Engine/KeyboardLayout.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>

namespace Engine {

namespace KeyUsage {
inline constexpr uint16_t v = 0x19;
inline constexpr uint16_t returnKey = 0x28;
inline constexpr uint16_t escape = 0x29;
inline constexpr uint16_t backspace = 0x2A;
inline constexpr uint16_t tab = 0x2B;
inline constexpr uint16_t space = 0x2C;
inline constexpr uint16_t home = 0x4A;
inline constexpr uint16_t deleteForward = 0x4C;
inline constexpr uint16_t end = 0x4D;
inline constexpr uint16_t right = 0x4F;
inline constexpr uint16_t left = 0x50;
inline constexpr uint16_t down = 0x51;
inline constexpr uint16_t up = 0x52;
inline constexpr uint16_t keypadEnter = 0x58;
inline constexpr uint16_t clear = 0x9C;
} // namespace KeyUsage

struct KeyCommand {
    enum class Kind { none, text, backspace, deleteForward, clear, returnKey, escape, left, right, start, end, paste, spotlight };
    Kind kind = Kind::none;
    std::string text; // for Kind::text
};

class KeyInput {
public:
    explicit KeyInput(KeyboardLayoutKind layout) : layout_(layout) {}

    // One key message; only a key going down does something.
    KeyCommand key(bool down, uint16_t usage, uint8_t mods);
    void reset() { held_.clear(); }

    const KeyboardLayout& layout() const { return layout_; }
    const std::set<uint16_t>& heldKeys() const { return held_; }
    uint8_t heldModifiers() const;

private:
    KeyboardLayout layout_;
    std::set<uint16_t> held_;
};

} // namespace Engine
