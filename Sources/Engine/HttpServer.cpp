#include "Engine/HttpServer.h"

#include <array>
#include <cstdio>

namespace Engine {

struct HttpServer::Connection {
    explicit Connection(asio::ip::tcp::socket s, HttpParserLimits limits)
        : socket(std::move(s)), idle(socket.get_executor()), parser(limits) {}

    void close() {
        asio::error_code ignored;
        socket.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
        socket.close(ignored);
        idle.cancel();
    }

    asio::ip::tcp::socket socket;
    asio::steady_timer idle;
    HttpRequestParser parser;
};

HttpServer::HttpServer(asio::io_context& io, Handler handler, HttpParserLimits limits)
    : io_(io), handler_(std::move(handler)), limits_(limits), acceptor_(io) {}

void HttpServer::listen(const std::string& address, uint16_t port) {
    const asio::ip::tcp::endpoint endpoint(asio::ip::make_address(address), port);
    acceptor_.open(endpoint.protocol());
    // Lets a restarted engine bind while old connections sit in TIME_WAIT; a live listener on the
    // port still makes bind fail with address_in_use.
    acceptor_.set_option(asio::socket_base::reuse_address(true));
    acceptor_.bind(endpoint);
    acceptor_.listen(asio::socket_base::max_listen_connections);
}

void HttpServer::start() {
    asio::co_spawn(io_, acceptLoop(), asio::detached);
}

void HttpServer::stop() {
    stopped_ = true;
    asio::error_code ignored;
    acceptor_.close(ignored);
    for (const auto& connection : connections_) {
        connection->close();
    }
    connections_.clear();
}

asio::awaitable<void> HttpServer::acceptLoop() {
    while (!stopped_) {
        asio::error_code ec;
        auto socket = co_await acceptor_.async_accept(asio::redirect_error(asio::use_awaitable, ec));
        if (ec) {
            if (ec == asio::error::operation_aborted || stopped_) {
                co_return;
            }
            // Out of descriptors or the like: keep serving the connections we have, and wait a
            // little rather than spin on the same error.
            asio::steady_timer pause(io_, std::chrono::milliseconds(50));
            co_await pause.async_wait(asio::redirect_error(asio::use_awaitable, ec));
            continue;
        }
        // Nagle plus delayed ACK would add ~40 ms to every small answer (ARCHITECTURE.md traps).
        socket.set_option(asio::ip::tcp::no_delay(true), ec);
        auto connection = std::make_shared<Connection>(std::move(socket), limits_);
        connections_.insert(connection);
        asio::co_spawn(io_, serve(connection), asio::detached);
        asio::co_spawn(io_, watchIdle(connection), asio::detached);
    }
}

asio::awaitable<void> HttpServer::watchIdle(std::shared_ptr<Connection> connection) {
    connection->idle.expires_after(idleTimeout);
    while (connection->socket.is_open()) {
        asio::error_code ec;
        co_await connection->idle.async_wait(asio::redirect_error(asio::use_awaitable, ec));
        if (connection->socket.is_open() && connection->idle.expiry() <= std::chrono::steady_clock::now()) {
            connection->close(); // idle for too long; the read in serve() ends with an error
            co_return;
        }
    }
}

asio::awaitable<void> HttpServer::serve(std::shared_ptr<Connection> connection) {
    std::array<char, 16 * 1024> buffer{};
    try {
        for (;;) {
            const size_t n =
                co_await connection->socket.async_read_some(asio::buffer(buffer), asio::use_awaitable);
            connection->idle.expires_after(idleTimeout);
            connection->parser.feed(std::string_view(buffer.data(), n));
            bool keepOpen = true;
            while (keepOpen) {
                HttpRequest request;
                const auto status = connection->parser.next(request);
                if (status == HttpRequestParser::Status::needMore) {
                    if (connection->parser.takeContinueRequest()) {
                        static const std::string interim = "HTTP/1.1 100 Continue\r\n\r\n";
                        co_await asio::async_write(connection->socket, asio::buffer(interim),
                                                   asio::use_awaitable);
                    }
                    break;
                }
                HttpResponse response;
                bool keepAlive = false;
                if (status == HttpRequestParser::Status::error) {
                    const int code = connection->parser.errorStatus();
                    response = HttpResponse::error(code,
                                                   code == 413   ? "body_too_large"
                                                   : code == 431 ? "header_too_large"
                                                   : code == 501 ? "not_implemented"
                                                   : code == 505 ? "version_not_supported"
                                                                 : "bad_request",
                                                   connection->parser.errorMessage());
                } else {
                    response = handler_(request);
                    keepAlive = request.keepAlive && !response.closeConnection;
                }
                const std::string bytes = response.serialize(keepAlive);
                co_await asio::async_write(connection->socket, asio::buffer(bytes), asio::use_awaitable);
                keepOpen = keepAlive;
            }
            if (!keepOpen) {
                break;
            }
        }
    } catch (const std::system_error&) {
        // End of stream, reset or a close from stop()/the idle watch: the connection is over.
    }
    connection->close();
    connections_.erase(connection);
}

} // namespace Engine
