// The byte layout of the engine's HID socket messages: a one-byte type, then fixed fields,
// little-endian. Pure functions, bytes out; nothing is read back from the engine.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ControlKit::HidMessages {

enum Type : uint8_t {
    touchType = 0x01,
    buttonType = 0x02,
    instantType = 0x03,
    musicSafeType = 0x04,
    keyType = 0x05,
    keyboardResetType = 0x06,
};

// Coordinates outside 0..65535 are sent as their low 16 bits.
std::string touch(bool contact, int64_t x, int64_t y);
// Names longer than 255 bytes are cut to their first 255 bytes.
std::string button(std::string_view name, bool pressed);
std::string instant(bool hard);
std::string musicSafe(bool on);
// Characters longer than 255 bytes are cut to their first 255 bytes.
std::string key(bool down, uint16_t usage, uint8_t mods, std::string_view character);
std::string keyboardReset();

} // namespace ControlKit::HidMessages
