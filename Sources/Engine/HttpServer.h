// The engine's HTTP/1.1 server on a loopback TCP port: keep-alive connections, pipelined requests
// answered in order, Content-Length bodies, "100 Continue", size limits from HttpRequestParser and
// an idle timeout. It frames requests only; a handler (the Router) answers them synchronously.
// Io thread only.
#pragma once

#include "Engine/HttpMessage.h"
#include "Engine/HttpRequestParser.h"

#include <asio.hpp>
#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>

namespace Engine {

class HttpServer {
public:
    using Handler = std::function<HttpResponse(const HttpRequest&)>;
    static constexpr std::chrono::seconds idleTimeout{60};

    HttpServer(asio::io_context& io, Handler handler, HttpParserLimits limits = {});

    // Binds and listens; throws std::system_error (asio::error::address_in_use when taken).
    void listen(const std::string& address, uint16_t port);
    void start();
    // Closes the acceptor and every connection.
    void stop();

    size_t connectionCount() const { return connections_.size(); }

private:
    struct Connection;
    asio::awaitable<void> acceptLoop();
    asio::awaitable<void> serve(std::shared_ptr<Connection> connection);
    asio::awaitable<void> watchIdle(std::shared_ptr<Connection> connection);

    asio::io_context& io_;
    Handler handler_;
    HttpParserLimits limits_;
    asio::ip::tcp::acceptor acceptor_;
    std::set<std::shared_ptr<Connection>> connections_;
    bool stopped_ = false;
};

} // namespace Engine
