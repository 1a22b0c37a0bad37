#include "Engine/HidParser.h"

#include <algorithm>

namespace Engine {

namespace {

void putU16(std::string& out, uint16_t v) {
    out.push_back(static_cast<char>(v & 0xff));
    out.push_back(static_cast<char>(v >> 8));
}

void putShortString(std::string& out, const std::string& text) {
    const size_t n = std::min<size_t>(text.size(), 255);
    out.push_back(static_cast<char>(n));
    out.append(text, 0, n);
}

// Fixed sizes including the type byte; 0 for the variable-length types.
constexpr size_t touchSize = 1 + 1 + 2 + 2;
constexpr size_t flagSize = 1 + 1;
constexpr size_t keyFixedSize = 1 + 1 + 2 + 1 + 1; // type, down, usage, mods, length

} // namespace

std::string encodeHidMessage(const HidMessage& message) {
    std::string out;
    std::visit(
        [&](const auto& m) {
            using T = std::decay_t<decltype(m)>;
            if constexpr (std::is_same_v<T, HidTouch>) {
                out.push_back(static_cast<char>(HidType::touch));
                out.push_back(m.contact ? 1 : 0);
                putU16(out, m.x);
                putU16(out, m.y);
            } else if constexpr (std::is_same_v<T, HidButton>) {
                out.push_back(static_cast<char>(HidType::button));
                putShortString(out, m.name);
                out.push_back(m.pressed ? 1 : 0);
            } else if constexpr (std::is_same_v<T, HidInstant>) {
                out.push_back(static_cast<char>(HidType::instant));
                out.push_back(m.hard ? 1 : 0);
            } else if constexpr (std::is_same_v<T, HidMusicSafe>) {
                out.push_back(static_cast<char>(HidType::musicSafe));
                out.push_back(m.on ? 1 : 0);
            } else if constexpr (std::is_same_v<T, HidKey>) {
                out.push_back(static_cast<char>(HidType::key));
                out.push_back(m.down ? 1 : 0);
                putU16(out, m.usage);
                out.push_back(static_cast<char>(m.mods));
                putShortString(out, m.character);
            } else {
                out.push_back(static_cast<char>(HidType::keyboardReset));
            }
        },
        message);
    return out;
}

size_t HidParser::completeMessageSize() const {
    const size_t available = buffer_.size();
    if (available == 0) {
        return 0;
    }
    auto need = [&](size_t size) { return available >= size ? size : 0; };
    switch (buffer_[0]) {
    case HidType::touch:
        return need(touchSize);
    case HidType::button:
        return available < 2 ? 0 : need(2 + buffer_[1] + 1); // type, length, name, pressed
    case HidType::instant:
    case HidType::musicSafe:
        return need(flagSize);
    case HidType::key:
        return available < keyFixedSize ? 0 : need(keyFixedSize + buffer_[keyFixedSize - 1]);
    case HidType::keyboardReset:
        return 1;
    default:
        return 0;
    }
}

HidMessage HidParser::decodeFront() const {
    const uint8_t* b = buffer_.data();
    auto u16 = [b](size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); };
    auto text = [b](size_t at, size_t n) { return std::string(reinterpret_cast<const char*>(b + at), n); };
    switch (b[0]) {
    case HidType::touch:
        return HidTouch{b[1] != 0, u16(2), u16(4)};
    case HidType::button:
        return HidButton{text(2, b[1]), b[2 + b[1]] != 0};
    case HidType::instant:
        return HidInstant{b[1] != 0};
    case HidType::musicSafe:
        return HidMusicSafe{b[1] != 0};
    case HidType::key:
        return HidKey{b[1] != 0, u16(2), b[4], text(6, b[5])};
    default:
        return HidKeyboardReset{};
    }
}

bool HidParser::feed(std::span<const uint8_t> bytes, std::vector<HidMessage>& out) {
    if (failed_) {
        return false;
    }
    buffer_.append(bytes);
    while (!buffer_.empty()) {
        const uint8_t type = buffer_[0];
        if (type < HidType::touch || type > HidType::keyboardReset) {
            failed_ = true;
            failedType_ = type;
            buffer_.clear();
            return false;
        }
        const size_t size = completeMessageSize();
        if (size == 0) {
            break;
        }
        out.push_back(decodeFront());
        buffer_.consume(size);
    }
    return true;
}

} // namespace Engine
