// The interface through which the routes, the frame endpoints and the live streams plug into the
// server core, and the core's decision of which of them a request goes to.
//
//  - LocalAPIHandler: answers one request. Runs as a coroutine on the handler executor (the main
//    executor in the application), so it may call into the application and suspend (timers, the
//    workflow player, HTTP to the engine); several may be in progress at once. Its answer is
//    written in request order on the request's connection. An exception becomes 500.
//  - LocalAPIStreamHandler: takes over the connection for a WebSocket upgrade or an MJPEG stream.
//    It runs on the server's thread, owns the socket from then on, and gets the bytes the client
//    sent after the request. Answers to earlier pipelined requests have all been written by then.
#pragma once

#include "VedevaveApp/LocalAPI/LocalAPIRequest.h"
#include "VedevaveApp/LocalAPI/LocalAPIResponse.h"

#include <asio/awaitable.hpp>
#include <asio/ip/tcp.hpp>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace VedevaveApp {

using LocalAPIHandler = std::function<asio::awaitable<LocalAPIResponse>(LocalAPIRequest)>;

struct LocalAPIStream {
    asio::ip::tcp::socket socket;
    LocalAPIRequest request;
    // Bytes that arrived after the request, not yet looked at.
    std::string pendingBytes;
    // Access-Control-Allow-Origin for this client.
    std::string allowedOrigin;
};

using LocalAPIStreamHandler = std::function<asio::awaitable<void>(LocalAPIStream)>;

// Where the core sends a request that passed the access checks, in this order of precedence.
enum class LocalAPITarget {
    webSocket,   // an upgrade header, a WebSocket key, or the path "/v1/ws" or "/ws" (any method)
    options,     // OPTIONS, any path: answered by the core
    page,        // GET or HEAD "/", "/web", "/web/", "/index.html"
    mjpegStream, // GET "/v1/stream", "/v1/screen.mjpeg", "/stream", "/mjpeg"
    singleFrame, // GET "/v1/screen.jpg", "/v1/screen.jpeg", "/screen.jpg", "/v1/screen.raw"
    route,       // everything else: the route table
};

// Path comparisons are exact and case-sensitive on the raw path.
LocalAPITarget targetOf(const LocalAPIRequest& request);

// What the server hands requests to. Each slot has a default that answers sensibly until the
// application installs its own.
struct LocalAPIHandlers {
    LocalAPIHandler route;        // default: 404 not found
    LocalAPIHandler singleFrame;  // default: 503 "no live frame"
    LocalAPIStreamHandler stream; // empty: streams answer 503 "streams unavailable"
    std::string page;             // the web page served at "/" and "/web"

    static LocalAPIHandlers defaults();
};

// The installed handlers, shared by the server and its connections. Replacing them affects the
// requests dispatched afterwards. Any thread.
class LocalAPIHandlerSlot {
public:
    LocalAPIHandlerSlot()
        : current_(std::make_shared<const LocalAPIHandlers>(LocalAPIHandlers::defaults())) {}

    std::shared_ptr<const LocalAPIHandlers> current() const {
        std::lock_guard lock(mutex_);
        return current_;
    }

    template <typename Change>
    void update(Change change) {
        std::lock_guard lock(mutex_);
        auto next = std::make_shared<LocalAPIHandlers>(*current_);
        change(*next);
        current_ = std::move(next);
    }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<const LocalAPIHandlers> current_; // guarded by mutex_
};

} // namespace VedevaveApp
