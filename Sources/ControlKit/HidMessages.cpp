#include "ControlKit/HidMessages.h"

#include <algorithm>

namespace ControlKit::HidMessages {

namespace {
void put16(std::string& out, uint16_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8));
}

void putShortText(std::string& out, std::string_view text) {
    const size_t length = std::min<size_t>(text.size(), 255);
    out.push_back(static_cast<char>(length));
    out.append(text.substr(0, length));
}
} // namespace

std::string touch(bool contact, int64_t x, int64_t y) {
    std::string out;
    out.reserve(6);
    out.push_back(static_cast<char>(touchType));
    out.push_back(contact ? 1 : 0);
    put16(out, static_cast<uint16_t>(static_cast<uint64_t>(x) & 0xFFFF));
    put16(out, static_cast<uint16_t>(static_cast<uint64_t>(y) & 0xFFFF));
    return out;
}

std::string button(std::string_view name, bool pressed) {
    std::string out(1, static_cast<char>(buttonType));
    putShortText(out, name);
    out.push_back(pressed ? 1 : 0);
    return out;
}

std::string instant(bool hard) { return {static_cast<char>(instantType), static_cast<char>(hard ? 1 : 0)}; }

std::string musicSafe(bool on) { return {static_cast<char>(musicSafeType), static_cast<char>(on ? 1 : 0)}; }

std::string key(bool down, uint16_t usage, uint8_t mods, std::string_view character) {
    std::string out(1, static_cast<char>(keyType));
    out.push_back(down ? 1 : 0);
    put16(out, usage);
    out.push_back(static_cast<char>(mods));
    putShortText(out, character);
    return out;
}

std::string keyboardReset() { return std::string(1, static_cast<char>(keyboardResetType)); }

} // namespace ControlKit::HidMessages
