// An HTTP client over libcurl for the engine, the readiness poll and model servers. One multi handle
// runs on its own thread; requests are awaited from coroutines on any executor and complete there.
// Redirects are never followed: a 3xx is returned as the answer. A cancelled coroutine aborts its
// transfer promptly and ends with Runtime::CancellationError.
#pragma once

#include <asio/awaitable.hpp>

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace Runtime {

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
    std::string method = "GET";
    std::string url;
    HttpHeaders headers;
    std::string body;
    std::chrono::milliseconds timeout{30'000};
    // Largest body accepted; checked against the announced length and while bytes arrive.
    std::optional<size_t> maxBodyBytes;
};

struct HttpResponse {
    long status = 0;
    HttpHeaders headers; // names in lower case, in arrival order
    std::string body;

    // The first header with this name (compared case-insensitively).
    std::optional<std::string> header(std::string_view name) const;
};

class HttpError : public std::runtime_error {
public:
    enum class Kind { timedOut, cannotConnect, tooLarge, invalidRequest, transport };
    HttpError(Kind kind, std::string detail);
    Kind kind() const { return kind_; }
    std::string description() const { return what(); }

private:
    Kind kind_;
};

class HttpClient {
public:
    // The process's client. The first call starts its thread; curl_global_init must have run
    // before any other thread started (see `initializeHttp`).
    static HttpClient& shared();

    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // Performs one request. Throws HttpError on transport failures (any HTTP status is an answer)
    // and CancellationError when the awaiting coroutine is cancelled.
    asio::awaitable<HttpResponse> perform(HttpRequest request);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// Initialises libcurl for the process. Call from main before starting any thread.
void initializeHttp();

} // namespace Runtime
