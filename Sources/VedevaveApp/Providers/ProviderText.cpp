#include "VedevaveApp/Providers/ProviderText.h"

#include <algorithm>
#include <memory>
#include <unicode/ubrk.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

namespace VedevaveApp::ProviderText {

namespace {

// Calls `visit(boundaryOffset)` for each grapheme boundary after the start, until it returns false.
template <typename Visit>
void forEachCharacterBoundary(std::string_view text, Visit visit) {
    UErrorCode status = U_ZERO_ERROR;
    UText* utext = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
    std::unique_ptr<UText, decltype(&utext_close)> textGuard(utext, utext_close);
    UBreakIterator* iterator = ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status);
    std::unique_ptr<UBreakIterator, decltype(&ubrk_close)> iteratorGuard(iterator, ubrk_close);
    if (U_FAILURE(status)) {
        // Without ICU data, fall back to code points so that limits still hold.
        int32_t offset = 0;
        const auto length = static_cast<int32_t>(text.size());
        while (offset < length) {
            UChar32 c;
            U8_NEXT(text.data(), offset, length, c);
            if (!visit(static_cast<size_t>(offset))) {
                return;
            }
        }
        return;
    }
    ubrk_setUText(iterator, utext, &status);
    for (int32_t boundary = ubrk_next(iterator); boundary != UBRK_DONE; boundary = ubrk_next(iterator)) {
        if (!visit(static_cast<size_t>(boundary))) {
            return;
        }
    }
}

} // namespace

bool isWhitespaceOrNewline(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
           c == 0x3000;
}

std::string trimmed(std::string_view text) {
    const auto length = static_cast<int32_t>(text.size());
    int32_t start = 0;
    while (start < length) {
        int32_t next = start;
        UChar32 c;
        U8_NEXT(text.data(), next, length, c);
        if (c < 0 || !isWhitespaceOrNewline(static_cast<char32_t>(c))) {
            break;
        }
        start = next;
    }
    int32_t end = length;
    while (end > start) {
        int32_t previous = end;
        UChar32 c;
        U8_PREV(text.data(), start, previous, c);
        if (c < 0 || !isWhitespaceOrNewline(static_cast<char32_t>(c))) {
            break;
        }
        end = previous;
    }
    return std::string(text.substr(static_cast<size_t>(start), static_cast<size_t>(end - start)));
}

std::string lowercased(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c);
    });
    return out;
}

bool containsLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

size_t characterCount(std::string_view text) {
    size_t count = 0;
    forEachCharacterBoundary(text, [&](size_t) {
        ++count;
        return true;
    });
    return count;
}

std::string prefixCharacters(std::string_view text, size_t count) {
    if (count == 0) {
        return {};
    }
    size_t end = text.size();
    size_t seen = 0;
    forEachCharacterBoundary(text, [&](size_t boundary) {
        if (++seen == count) {
            end = boundary;
            return false;
        }
        return true;
    });
    return std::string(text.substr(0, end));
}

std::string decodingLossily(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    const auto length = static_cast<int32_t>(bytes.size());
    int32_t offset = 0;
    while (offset < length) {
        const int32_t start = offset;
        UChar32 c;
        U8_NEXT(bytes.data(), offset, length, c);
        if (c < 0) {
            out += "\xEF\xBF\xBD";
        } else {
            out.append(bytes.data() + start, static_cast<size_t>(offset - start));
        }
    }
    return out;
}

bool isValidUTF8(std::string_view bytes) {
    const auto length = static_cast<int32_t>(bytes.size());
    int32_t offset = 0;
    while (offset < length) {
        UChar32 c;
        U8_NEXT(bytes.data(), offset, length, c);
        if (c < 0) {
            return false;
        }
    }
    return true;
}

} // namespace VedevaveApp::ProviderText
