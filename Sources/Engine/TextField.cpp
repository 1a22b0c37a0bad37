#include "Engine/TextField.h"

namespace Engine {

namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD";

// Length of the valid UTF-8 sequence at `i`, or 0 when the byte there starts none.
size_t sequenceLength(std::string_view s, size_t i) {
    const auto b = static_cast<unsigned char>(s[i]);
    size_t n = 0;
    uint32_t min = 0;
    uint32_t cp = 0;
    if (b < 0x80) {
        return 1;
    } else if ((b & 0xE0) == 0xC0) {
        n = 2, min = 0x80, cp = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
        n = 3, min = 0x800, cp = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
        n = 4, min = 0x10000, cp = b & 0x07;
    } else {
        return 0;
    }
    if (i + n > s.size()) {
        return 0;
    }
    for (size_t k = 1; k < n; ++k) {
        const auto c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80) {
            return 0;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0;
    }
    return n;
}

bool isContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

} // namespace

std::string TextField::sanitized(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        const size_t n = sequenceLength(bytes, i);
        if (n == 0) {
            out += replacement;
            ++i;
        } else {
            out.append(bytes.substr(i, n));
            i += n;
        }
    }
    return out;
}

bool TextField::insert(std::string_view text) {
    std::string clean = sanitized(text);
    if (!isMultiLine_) {
        std::string line;
        for (size_t i = 0; i < clean.size(); ++i) {
            if (clean[i] == '\r' && i + 1 < clean.size() && clean[i + 1] == '\n') {
                continue; // a CR LF pair is one break
            }
            line.push_back(clean[i] == '\n' || clean[i] == '\r' ? ' ' : clean[i]);
        }
        clean = std::move(line);
    }
    if (text_.size() + clean.size() > maxBytes) {
        size_t room = maxBytes - std::min(maxBytes, text_.size());
        while (room > 0 && room < clean.size() && isContinuation(clean[room])) {
            --room; // never cut a character in half
        }
        clean.resize(std::min(room, clean.size()));
    }
    if (clean.empty()) {
        return false;
    }
    text_.insert(cursor_, clean);
    cursor_ += clean.size();
    return true;
}

bool TextField::backspace() {
    if (cursor_ == 0) {
        return false;
    }
    size_t start = cursor_ - 1;
    while (start > 0 && isContinuation(text_[start])) {
        --start;
    }
    text_.erase(start, cursor_ - start);
    cursor_ = start;
    return true;
}

bool TextField::deleteForward() {
    if (cursor_ >= text_.size()) {
        return false;
    }
    size_t end = cursor_ + 1;
    while (end < text_.size() && isContinuation(text_[end])) {
        ++end;
    }
    text_.erase(cursor_, end - cursor_);
    return true;
}

bool TextField::clear() {
    if (text_.empty()) {
        return false;
    }
    text_.clear();
    cursor_ = 0;
    return true;
}

bool TextField::moveLeft() {
    if (cursor_ == 0) {
        return false;
    }
    do {
        --cursor_;
    } while (cursor_ > 0 && isContinuation(text_[cursor_]));
    return true;
}

bool TextField::moveRight() {
    if (cursor_ >= text_.size()) {
        return false;
    }
    do {
        ++cursor_;
    } while (cursor_ < text_.size() && isContinuation(text_[cursor_]));
    return true;
}

bool TextField::moveToStart() {
    const bool moved = cursor_ != 0;
    cursor_ = 0;
    return moved;
}

bool TextField::moveToEnd() {
    const bool moved = cursor_ != text_.size();
    cursor_ = text_.size();
    return moved;
}

void TextField::setText(std::string_view text) {
    text_.clear();
    cursor_ = 0;
    insert(text);
}

} // namespace Engine
