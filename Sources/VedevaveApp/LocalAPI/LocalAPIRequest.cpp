#include "VedevaveApp/LocalAPI/LocalAPIRequest.h"

namespace VedevaveApp {

std::optional<std::string> LocalAPIRequest::header(std::string_view name) const {
    const std::string wanted = LocalAPIRequestText::lowercased(name);
    for (const auto& [headerName, value] : headers) {
        if (headerName == wanted) {
            return value;
        }
    }
    return std::nullopt;
}

namespace LocalAPIRequestText {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

} // namespace

std::string lowercased(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return result;
}

std::string uppercased(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return result;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool isValidUTF8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        size_t length;
        uint32_t codePoint;
        if (byte < 0x80) {
            ++i;
            continue;
        } else if ((byte & 0xE0) == 0xC0) {
            length = 2;
            codePoint = byte & 0x1F;
        } else if ((byte & 0xF0) == 0xE0) {
            length = 3;
            codePoint = byte & 0x0F;
        } else if ((byte & 0xF8) == 0xF0) {
            length = 4;
            codePoint = byte & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        static constexpr uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (codePoint < smallest[length] || codePoint > 0x10FFFF ||
            (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

std::optional<std::string> percentDecoded(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            result.push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size()) {
            return std::nullopt;
        }
        const int high = hexValue(text[i + 1]);
        const int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        result.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    if (!isValidUTF8(result)) {
        return std::nullopt;
    }
    return result;
}

std::map<std::string, std::string> decodeQuery(std::string_view query) {
    std::map<std::string, std::string> result;
    while (!query.empty()) {
        const size_t amp = query.find('&');
        const std::string_view piece = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        const size_t equals = piece.find('=');
        if (equals == std::string_view::npos || equals == 0 || equals + 1 == piece.size()) {
            continue;
        }
        const std::string_view value = piece.substr(equals + 1);
        result[lowercased(piece.substr(0, equals))] = percentDecoded(value).value_or(std::string(value));
    }
    return result;
}

std::vector<std::pair<std::string, std::string>> headerLines(std::string_view headerBlock) {
    std::vector<std::pair<std::string, std::string>> result;
    bool isRequestLine = true;
    while (!headerBlock.empty()) {
        const size_t end = headerBlock.find("\r\n");
        const std::string_view line = headerBlock.substr(0, end);
        headerBlock = end == std::string_view::npos ? std::string_view() : headerBlock.substr(end + 2);
        if (isRequestLine) {
            isRequestLine = false;
            continue;
        }
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        result.emplace_back(lowercased(trimmed(line.substr(0, colon))),
                            std::string(trimmed(line.substr(colon + 1))));
    }
    return result;
}

} // namespace LocalAPIRequestText

} // namespace VedevaveApp
