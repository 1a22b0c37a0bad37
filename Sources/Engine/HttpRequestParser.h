// Pure, incremental HTTP/1.1 request parser: bytes in, requests out, no sockets. One per
// connection; pipelined requests come out one by one in order. Single-threaded.
//
// Supports Content-Length bodies only; Transfer-Encoding is refused (501). Limits on the head and
// body sizes turn oversized requests into errors instead of unbounded buffering.
#pragma once

#include "Engine/HttpMessage.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace Engine {

struct HttpParserLimits {
    size_t maxHeadBytes = 16 * 1024;
    size_t maxBodyBytes = 1024 * 1024;
    size_t maxHeaders = 100;
};

class HttpRequestParser {
public:
    enum class Status { needMore, request, error };

    explicit HttpRequestParser(HttpParserLimits limits = {}) : limits_(limits) {}

    void feed(std::string_view bytes) { buffer_.append(bytes); }

    // Completes the next request from the buffered bytes. After `error`, errorStatus() gives the
    // HTTP status to answer with (400, 413, 431, 501 or 505) and the connection must close.
    Status next(HttpRequest& out);

    int errorStatus() const { return errorStatus_; }
    const std::string& errorMessage() const { return errorMessage_; }

    // True once for a request whose head asked "Expect: 100-continue" and whose body is still
    // missing: the server answers the interim "100 Continue" then.
    bool takeContinueRequest();

    size_t bufferedBytes() const { return buffer_.size() - offset_; }

private:
    Status fail(int status, std::string message);
    Status parseHead(size_t headEnd, size_t terminatorLength);

    HttpParserLimits limits_;
    std::string buffer_;
    size_t offset_ = 0;
    bool inBody_ = false;
    size_t bodyLength_ = 0;
    HttpRequest pending_;
    bool continuePending_ = false;
    int errorStatus_ = 0;
    std::string errorMessage_;
};

} // namespace Engine
