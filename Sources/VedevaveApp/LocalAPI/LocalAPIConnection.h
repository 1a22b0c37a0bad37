// One client connection of the local API: a coroutine that reads requests top to bottom, hands each
// to its handler and writes the answers back in request order, even when later requests finish
// first. Requests of one connection may be in progress together (up to `maxPipelinedRequests`);
// a stream handler may take the socket over once every earlier answer is out. Runs on the server's
// thread ("vedevave.local-api"); only the handlers run elsewhere.
#pragma once

#include "VedevaveApp/LocalAPI/HttpRequestFraming.h"
#include "VedevaveApp/LocalAPI/LocalAPIAccessPolicy.h"
#include "VedevaveApp/LocalAPI/LocalAPIHandlers.h"

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace VedevaveApp {

class LocalAPIConnection : public std::enable_shared_from_this<LocalAPIConnection> {
public:
    // What every connection of one listener shares; fixed while the listener runs.
    struct Settings {
        HttpRequestFraming::Limits framing;
        // A connection that sends nothing for this long while a request is incomplete, or while it
        // waits for nothing, is closed. Connections waiting for an answer are never timed out.
        std::chrono::milliseconds idleTimeout{120'000};
        size_t maxPipelinedRequests = 32;
        LocalAPIAccessPolicy access;
        std::shared_ptr<LocalAPIHandlerSlot> handlers;
        // Where route and frame handlers run.
        asio::any_io_executor handlerExecutor;
        // The server's context, for handlers to hand their answers back. Weak: the context owns the
        // connections' coroutines, so a strong reference here would keep it alive forever.
        std::weak_ptr<asio::io_context> serverContext;
    };

    LocalAPIConnection(asio::ip::tcp::socket socket, std::shared_ptr<const Settings> settings);

    // Serves the connection until the client leaves, a closing failure, or a stream handler ends.
    // Never throws.
    asio::awaitable<void> run();

    // Writes `response` and closes: the answer to a client over the connection limit.
    asio::awaitable<void> refuse(LocalAPIResponse response);

    // Closes the socket; the coroutines notice and end. Server thread only.
    void close();

private:
    struct Takeover {
        LocalAPIRequest request;
        std::string allowedOrigin;
    };
    struct PendingAnswer {
        std::optional<std::string> bytes; // set once the handler has answered
        bool closesConnection = false;
    };

    asio::awaitable<void> readLoop();
    asio::awaitable<void> writeLoop();
    asio::awaitable<void> watchIdle();
    asio::awaitable<void> closeGracefully();

    void handle(LocalAPIRequest request);
    void queueAnswer(const LocalAPIResponse& response, const std::string& allowedOrigin, bool isHead,
                     bool closesConnection = false);
    void startHandler(const LocalAPIHandler& handler, LocalAPIRequest request, std::string allowedOrigin);
    std::string ownOrigin() const;

    asio::ip::tcp::socket socket_;
    std::shared_ptr<const Settings> settings_;
    asio::ip::tcp::endpoint peer_;
    asio::ip::tcp::endpoint local_;
    HttpRequestFraming framing_;
    std::vector<char> readBuffer_;

    std::deque<std::shared_ptr<PendingAnswer>> pending_;
    // Wake-ups between the coroutines: each waits on its timer, the others cancel it.
    asio::steady_timer writerWake_;
    asio::steady_timer readerWake_;
    asio::steady_timer idleTimer_;
    std::chrono::steady_clock::time_point lastActivity_;
    bool isReaderDone_ = false;
    bool isWriterDone_ = false;
    bool isClosing_ = false;
    std::optional<Takeover> takeover_;
};

} // namespace VedevaveApp
