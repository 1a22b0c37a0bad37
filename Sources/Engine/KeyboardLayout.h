// The phone's hardware-keyboard layouts: which character a HID usage with modifiers prints on a
// phone set to US, French or German. These are the phone's own tables, written independently of
// the application's translator, so that a disagreement between the two shows up in a test.
// Immutable; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Engine {

namespace KeyMods {
inline constexpr uint8_t shift = 0x01;
inline constexpr uint8_t control = 0x02;
inline constexpr uint8_t option = 0x04;
inline constexpr uint8_t command = 0x08;
} // namespace KeyMods

enum class KeyboardLayoutKind { us, fr, de };

const char* keyboardLayoutName(KeyboardLayoutKind kind);
// "us", "fr", "de" in any case and with blanks around; absent for anything else.
std::optional<KeyboardLayoutKind> parseKeyboardLayout(std::string_view text);

class KeyboardLayout {
public:
    explicit KeyboardLayout(KeyboardLayoutKind kind) : kind_(kind) {}

    KeyboardLayoutKind kind() const { return kind_; }
    // The character (UTF-8) that `usage` prints with `mods` (shift and option count; control and
    // command never print), or absent when the key prints nothing on this layout.
    std::optional<std::string> character(uint16_t usage, uint8_t mods) const;

private:
    KeyboardLayoutKind kind_;
};

} // namespace Engine
