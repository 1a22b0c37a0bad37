#include "Engine/HttpRequestParser.h"

#include <algorithm>
#include <cctype>

namespace Engine {

namespace {

bool isTokenChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isalnum(u)) {
        return true;
    }
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool isToken(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), isTokenChar);
}

std::string_view trimOws(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

// Whether a comma-separated header value lists `token` (case-insensitive).
bool listsToken(std::string_view value, std::string_view token) {
    while (!value.empty()) {
        const size_t comma = value.find(',');
        if (equalsIgnoreCase(trimOws(value.substr(0, comma)), token)) {
            return true;
        }
        if (comma == std::string_view::npos) {
            break;
        }
        value.remove_prefix(comma + 1);
    }
    return false;
}

} // namespace

HttpRequestParser::Status HttpRequestParser::fail(int status, std::string message) {
    errorStatus_ = status;
    errorMessage_ = std::move(message);
    return Status::error;
}

bool HttpRequestParser::takeContinueRequest() {
    const bool value = continuePending_;
    continuePending_ = false;
    return value;
}

HttpRequestParser::Status HttpRequestParser::next(HttpRequest& out) {
    if (errorStatus_ != 0) {
        return Status::error;
    }
    if (!inBody_) {
        // RFC 9112 2.2: ignore empty lines before a request line.
        while (offset_ < buffer_.size() && (buffer_[offset_] == '\r' || buffer_[offset_] == '\n')) {
            ++offset_;
        }
        const std::string_view view(buffer_.data() + offset_, buffer_.size() - offset_);
        const size_t crlf = view.find("\r\n\r\n");
        const size_t lf = view.find("\n\n");
        size_t headEnd = std::string_view::npos;
        size_t terminator = 0;
        if (crlf != std::string_view::npos && (lf == std::string_view::npos || crlf < lf)) {
            headEnd = crlf;
            terminator = 4;
        } else if (lf != std::string_view::npos) {
            headEnd = lf;
            terminator = 2;
        }
        if (headEnd == std::string_view::npos) {
            if (view.size() > limits_.maxHeadBytes) {
                return fail(431, "Request head too large.");
            }
            return Status::needMore;
        }
        if (headEnd + terminator > limits_.maxHeadBytes) {
            return fail(431, "Request head too large.");
        }
        if (const Status status = parseHead(headEnd, terminator); status != Status::request) {
            return status;
        }
    }
    if (buffer_.size() - offset_ < bodyLength_) {
        return Status::needMore;
    }
    pending_.body.assign(buffer_, offset_, bodyLength_);
    offset_ += bodyLength_;
    inBody_ = false;
    continuePending_ = false;
    out = std::move(pending_);
    pending_ = HttpRequest{};
    // Drop consumed bytes so the buffer holds at most what is still unparsed.
    buffer_.erase(0, offset_);
    offset_ = 0;
    return Status::request;
}

HttpRequestParser::Status HttpRequestParser::parseHead(size_t headEnd, size_t terminatorLength) {
    std::string_view head(buffer_.data() + offset_, headEnd);
    HttpRequest request;
    bool first = true;
    std::string contentLength;
    bool hasContentLength = false;
    while (!head.empty() || first) {
        size_t eol = head.find('\n');
        std::string_view line = head.substr(0, eol);
        head = eol == std::string_view::npos ? std::string_view() : head.substr(eol + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.find('\r') != std::string_view::npos || line.find('\0') != std::string_view::npos) {
            return fail(400, "Stray control character in the request head.");
        }
        if (first) {
            first = false;
            const size_t sp1 = line.find(' ');
            const size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
            if (sp2 == std::string_view::npos || line.find(' ', sp2 + 1) != std::string_view::npos) {
                return fail(400, "Malformed request line.");
            }
            const std::string_view method = line.substr(0, sp1);
            const std::string_view target = line.substr(sp1 + 1, sp2 - sp1 - 1);
            const std::string_view version = line.substr(sp2 + 1);
            if (!isToken(method) || target.empty() || target.front() != '/') {
                return fail(400, "Malformed request line.");
            }
            for (char c : target) {
                if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f) {
                    return fail(400, "Malformed request target.");
                }
            }
            if (version.size() != 8 || version.substr(0, 5) != "HTTP/" ||
                !std::isdigit(static_cast<unsigned char>(version[5])) || version[6] != '.' ||
                !std::isdigit(static_cast<unsigned char>(version[7]))) {
                return fail(400, "Malformed HTTP version.");
            }
            if (version[5] != '1') {
                return fail(505, "Only HTTP/1.x is supported.");
            }
            request.method = method;
            request.target = target;
            const size_t q = target.find('?');
            request.path = target.substr(0, q);
            request.query = q == std::string_view::npos ? std::string() : std::string(target.substr(q + 1));
            request.versionMinor = version[7] - '0';
            continue;
        }
        if (line.empty()) {
            return fail(400, "Empty header line.");
        }
        if (line.front() == ' ' || line.front() == '\t') {
            return fail(400, "Obsolete header line folding.");
        }
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos || !isToken(line.substr(0, colon))) {
            return fail(400, "Malformed header line.");
        }
        if (request.headers.size() >= limits_.maxHeaders) {
            return fail(431, "Too many header fields.");
        }
        HttpHeader header{std::string(line.substr(0, colon)), std::string(trimOws(line.substr(colon + 1)))};
        if (equalsIgnoreCase(header.name, "Content-Length")) {
            if (hasContentLength && contentLength != header.value) {
                return fail(400, "Conflicting Content-Length fields.");
            }
            hasContentLength = true;
            contentLength = header.value;
        }
        request.headers.push_back(std::move(header));
    }

    if (request.header("Transfer-Encoding") != nullptr) {
        return fail(501, "Transfer-Encoding is not supported; send Content-Length.");
    }
    size_t length = 0;
    if (hasContentLength) {
        if (contentLength.empty() || contentLength.size() > 12 ||
            !std::all_of(contentLength.begin(), contentLength.end(),
                         [](char c) { return c >= '0' && c <= '9'; })) {
            return fail(400, "Malformed Content-Length.");
        }
        length = std::stoull(contentLength);
        if (length > limits_.maxBodyBytes) {
            return fail(413, "Request body too large.");
        }
    }
    const std::string* connection = request.header("Connection");
    if (request.versionMinor == 0) {
        request.keepAlive = connection != nullptr && listsToken(*connection, "keep-alive");
    } else {
        request.keepAlive = connection == nullptr || !listsToken(*connection, "close");
    }
    const std::string* expect = request.header("Expect");
    request.expectsContinue = expect != nullptr && equalsIgnoreCase(*expect, "100-continue");

    offset_ += headEnd + terminatorLength;
    bodyLength_ = length;
    inBody_ = true;
    continuePending_ = request.expectsContinue && request.versionMinor >= 1 && length > 0 &&
                       buffer_.size() - offset_ < length;
    pending_ = std::move(request);
    return Status::request;
}

} // namespace Engine
