// The server over real sockets: framing on the wire, answer order, HEAD and OPTIONS, take-over by a
// stream handler, limits, listener life cycle. Handlers run on a private executor thread.
#include "LocalAPI/LocalAPITestSupport.h"
#include "Platform/PreferenceStore.h"

#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>
#include <atomic>
#include <gtest/gtest.h>
#include <mutex>
#include <nlohmann/json.hpp>

using namespace VedevaveApp;
using namespace LocalAPITest;
using nlohmann::json;

namespace {

// Echoes the request; "/slow?ms=N" answers after N ms, "/throw" fails.
asio::awaitable<LocalAPIResponse> echo(std::atomic<int>* count, LocalAPIRequest request) {
    ++*count;
    if (request.path == "/throw") {
        throw std::runtime_error("broken handler");
    }
    if (request.path == "/slow") {
        asio::steady_timer timer(co_await asio::this_coro::executor,
                                 std::chrono::milliseconds(std::stoi(request.query.at("ms"))));
        co_await timer.async_wait(asio::use_awaitable);
    }
    co_return LocalAPIResponse::json(
        200, {{"ok", true}, {"method", request.method}, {"path", request.path}, {"body", request.body}});
}

// A port nothing listens on right now.
uint16_t freePort() {
    asio::io_context context;
    asio::ip::tcp::acceptor probe(context, {asio::ip::address_v4::loopback(), 0});
    return probe.local_endpoint().port();
}

} // namespace

class LocalAPIServerTest : public ::testing::Test {
protected:
    void startServer(LocalAPIServer::Limits limits = {}) {
        LocalAPIServer::Options options;
        options.limits = limits;
        options.handlerExecutor = handlers.executor();
        options.preferences = preferences;
        server = std::make_unique<LocalAPIServer>(options);
        server->setHandler([this](LocalAPIRequest request) { return echo(&handled, std::move(request)); });
        server->start(0);
        ASSERT_TRUE(server->isRunning());
        port = server->port();
    }

    static json bodyOf(const std::optional<Answer>& answer) {
        return answer ? json::parse(answer->body, nullptr, false) : json();
    }

    HandlerThread handlers;
    std::shared_ptr<Platform::MemoryPreferenceStore> preferences =
        std::make_shared<Platform::MemoryPreferenceStore>();
    std::unique_ptr<LocalAPIServer> server;
    std::atomic<int> handled{0};
    uint16_t port = 0;
};

TEST_F(LocalAPIServerTest, AnswersRequestsOneAfterAnotherOnAKeptConnection) {
    startServer();
    RawClient client(port);
    ASSERT_TRUE(client.send("GET /v1/help HTTP/1.1\r\n\r\n"));
    auto first = client.read();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->status, 200);
    EXPECT_EQ(first->header("connection"), "keep-alive");
    EXPECT_EQ(bodyOf(first)["path"], "/v1/help");
    ASSERT_TRUE(client.send(get("/v1/status")));
    EXPECT_EQ(bodyOf(client.read())["path"], "/v1/status");
}

TEST_F(LocalAPIServerTest, RequestSplitAcrossWritesIsHandledOnceWithItsWholeBody) {
    startServer();
    RawClient client(port);
    client.send("POST /v1/tap HTTP/1.1\r\nHo");
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    client.send("st: 127.0.0.1\r\nContent-Length: 10\r\n\r\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    client.send("{\"x\":");
    EXPECT_TRUE(client.staysSilent(std::chrono::milliseconds(100)));
    client.send("0.25}");
    auto answer = client.read();
    EXPECT_EQ(bodyOf(answer)["body"], "{\"x\":0.25}");
    EXPECT_EQ(handled, 1);
}

TEST_F(LocalAPIServerTest, PipelinedAnswersKeepRequestOrderEvenAfterTheClientStopsSending) {
    startServer();
    RawClient client(port);
    // All at once, then the write side closed: the server must answer everything it already has.
    client.send(get("/slow?ms=300") + get("/fast") + post("/slow?ms=100", "{}") + get("/last"));
    client.shutdownWrite();
    std::vector<std::string> paths;
    while (auto answer = client.read()) {
        paths.push_back(bodyOf(answer)["path"]);
    }
    EXPECT_EQ(paths, (std::vector<std::string>{"/slow", "/fast", "/slow", "/last"}));
}

TEST_F(LocalAPIServerTest, HeadOptionsAndThePage) {
    startServer();
    server->setPage("<html>studio</html>");
    RawClient client(port);
    client.send("HEAD /web HTTP/1.1\r\n\r\n");
    auto head = client.read(/*isHead=*/true);
    ASSERT_TRUE(head);
    EXPECT_EQ(head->status, 200);
    EXPECT_EQ(head->header("content-type"), "text/html; charset=utf-8");
    EXPECT_EQ(head->header("content-length"), "0");
    // No stray body bytes: the next answer starts right away.
    client.send(get("/web"));
    auto page = client.read();
    EXPECT_EQ(page->body, "<html>studio</html>");
    EXPECT_EQ(page->header("cache-control"), "no-cache, no-store, must-revalidate");

    client.send("HEAD /v1/status HTTP/1.1\r\n\r\n");
    auto routed = client.read(/*isHead=*/true);
    EXPECT_EQ(routed->header("content-length"), "0");

    client.send("OPTIONS /any/path HTTP/1.1\r\n\r\n");
    auto options = client.read();
    ASSERT_TRUE(options);
    EXPECT_EQ(options->head.substr(0, 23), "HTTP/1.1 204 No Content");
    EXPECT_EQ(options->header("content-length"), "0");
    EXPECT_EQ(options->header("content-type"), "text/plain");
    EXPECT_EQ(options->header("access-control-allow-methods"), "GET, POST, OPTIONS");
    EXPECT_EQ(options->header("access-control-allow-origin"), "http://127.0.0.1:" + std::to_string(port));
    EXPECT_EQ(handled, 1); // only HEAD /v1/status reached the routes
}

TEST_F(LocalAPIServerTest, MalformedRequestsAnswer400AndTheConnectionGoesOn) {
    startServer();
    RawClient client(port);
    for (const std::string bad :
         {"GET\r\n\r\n", "GET /x HTTP/1.1\r\nX-Name: caf\xE9\r\n\r\n", "GET ? HTTP/1.1\r\n\r\n"}) {
        client.send(bad + get("/after"));
        auto answer = client.read();
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->status, 400);
        EXPECT_EQ(bodyOf(answer), json({{"ok", false}, {"error", "bad request"}}));
        EXPECT_EQ(bodyOf(client.read())["path"], "/after");
    }
}

TEST_F(LocalAPIServerTest, FailingHandlerAnswers500) {
    startServer();
    RawClient client(port);
    client.send(get("/throw") + get("/fine"));
    auto failed = client.read();
    EXPECT_EQ(failed->status, 500);
    EXPECT_EQ(bodyOf(failed)["error"], "internal error");
    EXPECT_EQ(client.read()->status, 200);
}

TEST_F(LocalAPIServerTest, WebSocketRequestsWithoutAKeyAnswer400WhateverTheMethod) {
    startServer();
    RawClient client(port);
    for (const std::string method : {"GET", "POST", "DELETE"}) {
        client.send(method + " /v1/ws HTTP/1.1\r\n\r\n");
        auto answer = client.read();
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->status, 400);
        EXPECT_EQ(bodyOf(answer)["error"], "missing sec-websocket-key");
    }
    // Without a stream handler a real upgrade is refused plainly.
    client.send("GET /v1/ws HTTP/1.1\r\nUpgrade: websocket\r\nSec-WebSocket-Key: abc\r\n\r\n");
    EXPECT_EQ(client.read()->status, 503);
}

namespace {
asio::awaitable<void> takeOver(LocalAPIStream stream) {
    const std::string text = "TAKEN " + stream.request.path + " [" + stream.pendingBytes + "]";
    co_await asio::async_write(stream.socket, asio::buffer(text), asio::use_awaitable);
}
} // namespace

TEST_F(LocalAPIServerTest, StreamHandlerTakesTheConnectionAfterEarlierAnswers) {
    startServer();
    server->setStreamHandler(takeOver);
    RawClient client(port);
    client.send(get("/slow?ms=200") +
                "GET /v1/ws?codec=jpeg HTTP/1.1\r\nUpgrade: websocket\r\nSec-WebSocket-Key: k\r\n\r\nFRAME");
    auto earlier = client.read();
    ASSERT_TRUE(earlier);
    EXPECT_EQ(bodyOf(earlier)["path"], "/slow");
    EXPECT_TRUE(client.waitForClose(std::chrono::seconds(3)));
    EXPECT_EQ(client.buffered(), "TAKEN /v1/ws [FRAME]");
}

TEST_F(LocalAPIServerTest, OversizedHeadersAndBodiesAreRefusedAndTheConnectionClosed) {
    startServer();
    {
        RawClient client(port);
        client.send("GET / HTTP/1.1\r\nX-Big: " + std::string(70 * 1024, 'a') + "\r\n\r\n");
        auto answer = client.read();
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->status, 431);
        EXPECT_EQ(answer->header("connection"), "close");
        EXPECT_TRUE(client.waitForClose(std::chrono::seconds(3)));
    }
    {
        // The client is still sending its body when the answer goes out; it must see the answer.
        RawClient client(port);
        client.send("POST /v1/do HTTP/1.1\r\nContent-Length: 9000000\r\n\r\n");
        client.send(std::string(512 * 1024, 'x'));
        auto answer = client.read();
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->status, 413);
        EXPECT_EQ(bodyOf(answer)["error"], "request body too large");
        EXPECT_TRUE(client.waitForClose(std::chrono::seconds(3)));
    }
    EXPECT_EQ(handled, 0);
}

TEST_F(LocalAPIServerTest, IncompleteRequestsTimeOutButSlowAnswersDoNot) {
    LocalAPIServer::Limits limits;
    limits.idleTimeout = std::chrono::milliseconds(300);
    startServer(limits);
    RawClient stalled(port);
    stalled.send("GET /v1/sta");
    RawClient waiting(port);
    waiting.send(get("/slow?ms=900"));
    EXPECT_TRUE(stalled.waitForClose(std::chrono::seconds(3)));
    auto answer = waiting.read();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200);
}

TEST_F(LocalAPIServerTest, ClientsBeyondTheConnectionLimitAreTurnedAway) {
    LocalAPIServer::Limits limits;
    limits.maxConnections = 2;
    startServer(limits);
    RawClient first(port), second(port);
    for (auto* client : {&first, &second}) {
        client->send(get("/v1/status"));
        ASSERT_TRUE(client->read());
    }
    RawClient third(port);
    third.send(get("/v1/status"));
    auto refused = third.read();
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 503);
    EXPECT_EQ(bodyOf(refused)["error"], "too many connections");
    EXPECT_TRUE(third.waitForClose(std::chrono::seconds(3)));
    // A freed place is usable again.
    first.shutdownWrite();
    EXPECT_TRUE(first.waitForClose(std::chrono::seconds(3)));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    RawClient fourth(port);
    fourth.send(get("/v1/status"));
    EXPECT_EQ(fourth.read()->status, 200);
}

TEST_F(LocalAPIServerTest, StartingAgainOnTheSamePortKeepsTheListenerAnotherPortReplacesIt) {
    startServer();
    RawClient kept(port);
    kept.send(get("/v1/status"));
    ASSERT_TRUE(kept.read());
    server->start(port);
    EXPECT_TRUE(server->isRunning());
    EXPECT_EQ(server->port(), port);
    kept.send(get("/v1/status"));
    EXPECT_EQ(kept.read()->status, 200);

    const uint16_t newPort = freePort();
    server->start(newPort);
    ASSERT_TRUE(server->isRunning());
    EXPECT_EQ(server->port(), newPort);
    EXPECT_FALSE(RawClient(port).isConnected());
    RawClient moved(newPort);
    moved.send(get("/v1/status"));
    EXPECT_EQ(moved.read()->status, 200);
    // Open connections outlive the listener they came from.
    kept.send(get("/v1/status"));
    EXPECT_EQ(kept.read()->status, 200);

    server->stop();
    EXPECT_FALSE(server->isRunning());
    EXPECT_FALSE(RawClient(newPort).isConnected());
}

TEST_F(LocalAPIServerTest, PortInUseLeavesTheServerStopped) {
    startServer();
    LocalAPIServer::Options options;
    options.handlerExecutor = handlers.executor();
    LocalAPIServer other(options);
    other.start(port);
    EXPECT_FALSE(other.isRunning());
}
