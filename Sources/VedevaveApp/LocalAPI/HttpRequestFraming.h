// Cuts the byte stream of one connection into requests. A pure state machine: bytes go in with
// `append`, `next` hands out one parsed request, a failure, or "need more bytes". It never touches
// a socket, so it can be fed hostile input directly (fuzz/VedevaveApp/HttpRequestFraming.cpp).
// One instance per connection; not thread-safe.
#pragma once

#include "VedevaveApp/LocalAPI/LocalAPIRequest.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace VedevaveApp {

class HttpRequestFraming {
public:
    struct Limits {
        size_t maxHeaderBytes = 64 * 1024;
        size_t maxBodyBytes = 8 * 1024 * 1024;
    };

    // A request that cannot be served. When `closesConnection` is set the stream can no longer be
    // cut into requests (the body length is unknown or refused): answer, then close. Otherwise the
    // bytes of the bad request have been consumed and the next request can follow.
    struct Failure {
        int status = 400;
        std::string error;
        bool closesConnection = false;
    };
    struct NeedMore {};
    using Result = std::variant<NeedMore, LocalAPIRequest, Failure>;

    HttpRequestFraming();
    explicit HttpRequestFraming(Limits limits) : limits_(limits) {}

    void append(std::string_view bytes);

    // The next complete request in the buffer. After a closing failure every call repeats it.
    Result next();

    bool hasBufferedBytes() const { return buffer_.size() > consumed_; }
    // The bytes after the last request handed out, for a handler that takes over the connection.
    std::string takeBufferedBytes();

    // The body length announced by a header block: the first line whose name (not trimmed) is
    // "content-length" in any case, its value trimmed and read as a decimal integer with an
    // optional sign. A value that is not a number gives 0, as does a missing line; a number too big
    // for 64 bits saturates, so that it is refused as too large rather than read as 0.
    static int64_t contentLength(std::string_view headerBlock);

    // Builds the request from a complete header block and body: method, path, query and headers.
    // A block that is not UTF-8, a request line of fewer than two words, or a target without a path
    // is a "bad request" that leaves the connection usable.
    static std::variant<LocalAPIRequest, Failure> parse(std::string_view headerBlock, std::string body);

    static constexpr const char* badRequestText = "bad request";
    static constexpr const char* headerTooLargeText = "request header too large";
    static constexpr const char* bodyTooLargeText = "request body too large";
    static constexpr const char* lengthRequiredText = "length required";

private:
    Result fail(int status, const char* error);

    Limits limits_;
    std::string buffer_;
    size_t consumed_ = 0;  // bytes of buffer_ already handed out
    size_t scannedTo_ = 0; // where the search for the blank line resumes (absolute index)
    std::optional<Failure> failure_;
};

} // namespace VedevaveApp
