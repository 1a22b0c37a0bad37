#include "VedevaveApp/Workflows/WorkflowText.h"

#include <memory>
#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

namespace VedevaveApp::WorkflowText {

namespace {

// Creating a break iterator loads rule data; one per thread is kept and re-pointed at each text.
icu::BreakIterator* characterIterator() {
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> created(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) {
            created.reset();
        }
        return created;
    }();
    return iterator.get();
}

// Calls `visit(start, end)` for each cluster's byte range. Without ICU data every byte range of a
// scalar counts as one character, which still keeps limits safe.
void forEachBoundary(std::string_view text, const std::function<bool(std::size_t, std::size_t)>& visit) {
    if (text.empty()) {
        return;
    }
    UErrorCode status = U_ZERO_ERROR;
    UText* utext = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
    icu::BreakIterator* iterator = characterIterator();
    if (U_SUCCESS(status) && iterator != nullptr) {
        iterator->setText(utext, status);
    }
    if (U_FAILURE(status) || iterator == nullptr) {
        utext_close(utext);
        int32_t index = 0;
        const auto length = static_cast<int32_t>(text.size());
        while (index < length) {
            const int32_t start = index;
            UChar32 scalar = 0;
            U8_NEXT(text.data(), index, length, scalar);
            (void)scalar;
            if (!visit(static_cast<std::size_t>(start), static_cast<std::size_t>(index))) {
                return;
            }
        }
        return;
    }
    int32_t start = iterator->first();
    for (int32_t end = iterator->next(); end != icu::BreakIterator::DONE; end = iterator->next()) {
        if (!visit(static_cast<std::size_t>(start), static_cast<std::size_t>(end))) {
            break;
        }
        start = end;
    }
    // The iterator keeps a pointer to the UText; detach it before the text goes away.
    iterator->setText(icu::UnicodeString());
    utext_close(utext);
}

bool isWhiteSpace(UChar32 scalar) {
    return u_hasBinaryProperty(scalar, UCHAR_WHITE_SPACE) != 0;
}

} // namespace

bool isValidUTF8(std::string_view text) {
    return allScalars(text, [](char32_t) { return true; });
}

std::size_t characterCount(std::string_view text) {
    std::size_t count = 0;
    forEachBoundary(text, [&](std::size_t, std::size_t) {
        ++count;
        return true;
    });
    return count;
}

std::string prefix(std::string_view text, std::size_t maxCharacters, std::size_t maxBytes) {
    std::size_t taken = 0;
    std::size_t endByte = 0;
    forEachBoundary(text, [&](std::size_t, std::size_t end) {
        if (taken == maxCharacters || end > maxBytes) {
            return false;
        }
        ++taken;
        endByte = end;
        return true;
    });
    return std::string(text.substr(0, endByte));
}

void forEachCharacter(std::string_view text, const std::function<bool(std::string_view)>& visit) {
    forEachBoundary(
        text, [&](std::size_t start, std::size_t end) { return visit(text.substr(start, end - start)); });
}

std::string trimmed(std::string_view text) {
    const auto length = static_cast<int32_t>(text.size());
    int32_t start = 0;
    while (start < length) {
        int32_t next = start;
        UChar32 scalar = 0;
        U8_NEXT(text.data(), next, length, scalar);
        if (scalar < 0 || !isWhiteSpace(scalar)) {
            break;
        }
        start = next;
    }
    int32_t end = length;
    while (end > start) {
        int32_t previous = end;
        UChar32 scalar = 0;
        U8_PREV(text.data(), start, previous, scalar);
        if (scalar < 0 || !isWhiteSpace(scalar)) {
            break;
        }
        end = previous;
    }
    return std::string(text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)));
}

bool allScalars(std::string_view text, const std::function<bool(char32_t)>& allowed) {
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) {
        return false;
    }
    const auto length = static_cast<int32_t>(text.size());
    int32_t index = 0;
    while (index < length) {
        UChar32 scalar = 0;
        U8_NEXT(text.data(), index, length, scalar);
        if (scalar < 0 || !allowed(static_cast<char32_t>(scalar))) {
            return false;
        }
    }
    return true;
}

std::string capitalized(std::string_view text) {
    auto unicode =
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    unicode.toTitle(nullptr, icu::Locale::getRoot());
    std::string out;
    unicode.toUTF8String(out);
    return out;
}

} // namespace VedevaveApp::WorkflowText
