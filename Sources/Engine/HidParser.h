// Pure decoder of the HID socket byte stream: bytes in, messages out, no sockets.
// One parser per connection; messages may be split or coalesced across reads. Single-threaded.
#pragma once

#include "Engine/StreamBuffer.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace Engine {

namespace HidType {
inline constexpr uint8_t touch = 0x01;
inline constexpr uint8_t button = 0x02;
inline constexpr uint8_t instant = 0x03;
inline constexpr uint8_t musicSafe = 0x04;
inline constexpr uint8_t key = 0x05;
inline constexpr uint8_t keyboardReset = 0x06;
} // namespace HidType

struct HidTouch {
    bool contact = false; // finger down or moving; false when lifted
    uint16_t x = 0;       // 0..65535, portrait touch space, x right
    uint16_t y = 0;       // y down
    bool operator==(const HidTouch&) const = default;
};

struct HidButton {
    std::string name;
    bool pressed = false;
    bool operator==(const HidButton&) const = default;
};

struct HidInstant {
    bool hard = false;
    bool operator==(const HidInstant&) const = default;
};

struct HidMusicSafe {
    bool on = false;
    bool operator==(const HidMusicSafe&) const = default;
};

struct HidKey {
    bool down = false;
    uint16_t usage = 0;
    uint8_t mods = 0; // shift 0x01, control 0x02, option 0x04, command 0x08
    std::string character;
    bool operator==(const HidKey&) const = default;
};

struct HidKeyboardReset {
    bool operator==(const HidKeyboardReset&) const = default;
};

using HidMessage = std::variant<HidTouch, HidButton, HidInstant, HidMusicSafe, HidKey, HidKeyboardReset>;

// Encodes one message exactly as the application's HidSocketClient writes it. Used by tests,
// benchmarks and the fuzz seeds; the engine itself only decodes.
std::string encodeHidMessage(const HidMessage& message);

class HidParser {
public:
    // Appends the bytes and decodes every complete message, in order, into `out`. Returns false
    // once an unknown type byte is met: the messages before it are still delivered, the parser is
    // then failed for good and the connection should be dropped.
    bool feed(std::span<const uint8_t> bytes, std::vector<HidMessage>& out);

    bool hasFailed() const { return failed_; }
    uint8_t failedType() const { return failedType_; }
    // Bytes held back because they start a message that has not fully arrived.
    size_t pendingBytes() const { return buffer_.size(); }

private:
    // Size of the message at the front of the buffer, or 0 if more bytes are needed to know.
    size_t completeMessageSize() const;
    HidMessage decodeFront() const;

    StreamBuffer buffer_;
    bool failed_ = false;
    uint8_t failedType_ = 0;
};

} // namespace Engine
