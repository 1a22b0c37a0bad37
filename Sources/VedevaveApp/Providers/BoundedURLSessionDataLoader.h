// Performs one HTTP request for a model server and returns the whole answer, but never holds more
// than a caller-given number of body bytes: a server that announces or sends more is cut off and
// the call fails with a size error instead of filling memory. Redirects are never followed (the 3xx
// answer is the result), and cancelling the awaiting coroutine ends the transfer at once.
//
// Built on the process's HTTP client. A loader is a "session": it lets at most
// `maximumConnectionsPerHost` of its requests talk to one origin at a time; later ones wait their
// turn (cancellable). Coroutines on any executor may call `data` concurrently; the loader must
// outlive the calls it serves.
#pragma once

#include "Runtime/HttpClient.h"

#include <asio/awaitable.hpp>
#include <cstddef>
#include <exception>
#include <memory>
#include <string>

namespace VedevaveApp {

class BoundedURLSessionDataError : public std::exception {
public:
    enum class Kind { responseTooLarge, missingResponse };

    static BoundedURLSessionDataError responseTooLarge(size_t limit) {
        return {Kind::responseTooLarge, limit};
    }
    static BoundedURLSessionDataError missingResponse() { return {Kind::missingResponse, 0}; }

    Kind kind() const { return kind_; }
    size_t limit() const { return limit_; }
    const std::string& description() const { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

private:
    BoundedURLSessionDataError(Kind kind, size_t limit);

    Kind kind_;
    size_t limit_;
    std::string description_;
};

class BoundedURLSessionDataLoader {
public:
    explicit BoundedURLSessionDataLoader(int maximumConnectionsPerHost = 2,
                                         Runtime::HttpClient* client = nullptr /* the shared client */);
    ~BoundedURLSessionDataLoader();
    BoundedURLSessionDataLoader(const BoundedURLSessionDataLoader&) = delete;
    BoundedURLSessionDataLoader& operator=(const BoundedURLSessionDataLoader&) = delete;

    // Yields the answer (any HTTP status, 3xx included) with at most `maximumBytes` (> 0) of body.
    // Fails with BoundedURLSessionDataError, Runtime::HttpError for transport failures as they
    // came, or Runtime::CancellationError.
    asio::awaitable<Runtime::HttpResponse> data(Runtime::HttpRequest request, size_t maximumBytes);

    struct ConnectionLimit;

private:
    Runtime::HttpClient& client_;
    std::shared_ptr<ConnectionLimit> limit_;
};

} // namespace VedevaveApp
