// One editable text field of the simulated phone (Spotlight's search, a note, a message being
// written, a password, an address, the calculator's entry): UTF-8 text with a cursor that only
// ever rests between characters. Pure; io thread only.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace Engine {

class TextField {
public:
    // Longest text a field keeps, in bytes: a paste of a huge clipboard file is cut, not stored.
    static constexpr size_t maxBytes = 16384;

    explicit TextField(bool isMultiLine = false) : isMultiLine_(isMultiLine) {}

    const std::string& text() const { return text_; }
    size_t cursor() const { return cursor_; } // byte offset, always at a character boundary
    bool isMultiLine() const { return isMultiLine_; }

    // Inserts at the cursor. Invalid UTF-8 becomes U+FFFD; a single-line field turns line breaks
    // into spaces. Returns whether the text changed.
    bool insert(std::string_view text);
    bool backspace();     // the character before the cursor
    bool deleteForward(); // the character after it
    bool clear();
    bool moveLeft();
    bool moveRight();
    bool moveToStart();
    bool moveToEnd();
    void setText(std::string_view text);

    // Valid UTF-8 of `bytes`, each invalid byte replaced by U+FFFD.
    static std::string sanitized(std::string_view bytes);

private:
    std::string text_;
    size_t cursor_ = 0;
    bool isMultiLine_;
};

} // namespace Engine
