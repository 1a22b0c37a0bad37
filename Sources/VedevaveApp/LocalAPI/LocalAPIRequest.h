// One framed request of the local API as the handlers see it, plus the pure helpers that build it
// from the header block: query decoding, percent-decoding and header look-up. No sockets here; any
// thread may use these values.
#pragma once

#include <asio/ip/address.hpp>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace VedevaveApp {

struct LocalAPIRequest {
    // The first word of the request line in upper case.
    std::string method;
    // The request target up to the first "?", exactly as received (never percent-decoded).
    std::string path;
    // Names in lower case, values percent-decoded; a later duplicate replaces an earlier one.
    std::map<std::string, std::string> query;
    // Exactly Content-Length bytes.
    std::string body;
    // Everything before the blank line, request line included (valid UTF-8).
    std::string headerBlock;
    // Header lines after the request line: names in lower case, values trimmed, in arrival order.
    std::vector<std::pair<std::string, std::string>> headers;

    // Filled in by the connection: who sent the request and whether it counts as a remote client.
    asio::ip::address peerAddress;
    bool isFromRemotePeer = false;

    // The first header with this name (compared case-insensitively), trimmed.
    std::optional<std::string> header(std::string_view name) const;
};

namespace LocalAPIRequestText {

std::string lowercased(std::string_view text);
std::string uppercased(std::string_view text);
std::string_view trimmed(std::string_view text);
bool isValidUTF8(std::string_view text);

// "%41" → "A". Nothing when a "%" is not followed by two hex digits or the decoded bytes are not
// valid UTF-8; "+" stays "+".
std::optional<std::string> percentDecoded(std::string_view text);

// The part of a request target after the first "?": pieces split at "&" (empty ones skipped), each
// split at its first "="; pieces without "=", with an empty name or an empty value are skipped.
// Names are lower-cased, values percent-decoded (kept as received when that fails).
std::map<std::string, std::string> decodeQuery(std::string_view query);

// The header lines of a header block (the request line skipped): split at the first ":", name
// lower-cased, value trimmed. Lines without ":" are ignored.
std::vector<std::pair<std::string, std::string>> headerLines(std::string_view headerBlock);

} // namespace LocalAPIRequestText

} // namespace VedevaveApp
