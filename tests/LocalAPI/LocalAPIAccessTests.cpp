// Safe defaults over real sockets: loopback binding, the token for remote clients, and refusal of
// foreign pages. A remote client is played from 127.0.0.2 through the server's peer predicate; where
// the machine has a non-loopback address, it is used for real.
#include "LocalAPI/LocalAPITestSupport.h"
#include "Platform/PreferenceStore.h"
#include "VedevaveApp/LocalAPI/LocalAPIToken.h"

#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>
#include <atomic>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <nlohmann/json.hpp>

using namespace VedevaveApp;
using namespace LocalAPITest;
using nlohmann::json;

namespace {

constexpr const char* playedRemote = "127.0.0.2";

std::optional<std::string> nonLoopbackAddress() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return std::nullopt;
    }
    std::optional<std::string> found;
    for (auto* entry = list; entry && !found; entry = entry->ifa_next) {
        if (entry->ifa_addr && entry->ifa_addr->sa_family == AF_INET) {
            char text[INET_ADDRSTRLEN];
            ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(entry->ifa_addr)->sin_addr, text,
                        sizeof text);
            if (std::string(text).rfind("127.", 0) != 0) {
                found = text;
            }
        }
    }
    ::freeifaddrs(list);
    return found;
}

} // namespace

class LocalAPIAccessTest : public ::testing::Test {
protected:
    std::unique_ptr<LocalAPIServer> makeServer(bool allowRemote, bool playRemote = true) {
        LocalAPIServer::Options options;
        options.handlerExecutor = handlers.executor();
        options.preferences = preferences;
        if (playRemote) {
            options.isLocalPeer = [](const asio::ip::address& address) {
                return address != asio::ip::make_address(playedRemote) &&
                       LocalAPIAccessPolicy::isLoopback(address);
            };
        }
        auto server = std::make_unique<LocalAPIServer>(options);
        server->setAllowRemote(allowRemote);
        auto* count = &handled;
        server->setHandler([count](LocalAPIRequest) -> asio::awaitable<LocalAPIResponse> {
            ++*count;
            co_return LocalAPIResponse::json(200, {{"ok", true}});
        });
        server->setStreamHandler([count](LocalAPIStream stream) -> asio::awaitable<void> {
            ++*count;
            co_await asio::async_write(stream.socket, asio::buffer(std::string("switched")),
                                       asio::use_awaitable);
        });
        server->start(0);
        return server;
    }

    static std::optional<Answer> ask(uint16_t port, const std::string& request, const std::string& from = "",
                                     const std::string& to = "127.0.0.1") {
        RawClient client(port, from, to);
        if (!client.isConnected() || !client.send(request)) {
            return std::nullopt;
        }
        return client.read();
    }

    static std::string errorOf(const std::optional<Answer>& answer) {
        return answer ? json::parse(answer->body, nullptr, false).value("error", "") : "(no answer)";
    }

    HandlerThread handlers;
    std::shared_ptr<Platform::MemoryPreferenceStore> preferences =
        std::make_shared<Platform::MemoryPreferenceStore>();
    std::atomic<int> handled{0};
};

TEST_F(LocalAPIAccessTest, ByDefaultOnlyThisMachineIsServed) {
    auto server = makeServer(/*allowRemote=*/false);
    EXPECT_FALSE(server->allowRemote());
    EXPECT_EQ(server->apiToken(), "");
    auto refused = ask(server->port(), get("/v1/status"), playedRemote);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 403);
    EXPECT_EQ(errorOf(refused), "loopback only");
    EXPECT_EQ(ask(server->port(), get("/v1/status"))->status, 200);
    EXPECT_EQ(handled, 1);
}

TEST_F(LocalAPIAccessTest, ListenerIsBoundToLoopbackUnlessRemoteAccessIsAllowed) {
    const auto address = nonLoopbackAddress();
    if (!address) {
        GTEST_SKIP() << "this machine has no non-loopback IPv4 address";
    }
    auto local = makeServer(/*allowRemote=*/false, /*playRemote=*/false);
    EXPECT_FALSE(RawClient(local->port(), "", *address).isConnected());

    // Reached through the machine's own network address, the peer is that address: remote.
    auto remote = makeServer(/*allowRemote=*/true, /*playRemote=*/false);
    const std::string hostHeader = "Host: " + *address + ":" + std::to_string(remote->port()) + "\r\n";
    auto refused = ask(remote->port(), "GET /v1/status HTTP/1.1\r\n" + hostHeader + "\r\n", "", *address);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 401);
    auto admitted = ask(remote->port(),
                        "GET /v1/status HTTP/1.1\r\n" + hostHeader + "Authorization: Bearer " +
                            remote->apiToken() + "\r\n\r\n",
                        "", *address);
    EXPECT_EQ(admitted->status, 200);
}

TEST_F(LocalAPIAccessTest, RemoteClientsNeedTheStoredToken) {
    auto server = makeServer(/*allowRemote=*/true);
    const std::string token = server->apiToken();
    ASSERT_EQ(token.size(), 64u);
    EXPECT_EQ(preferences->stringValue(LocalAPIToken::preferenceKey), token);

    auto missing = ask(server->port(), get("/v1/status"), playedRemote);
    EXPECT_EQ(missing->status, 401);
    EXPECT_EQ(errorOf(missing), "unauthorized");
    EXPECT_EQ(ask(server->port(), get("/v1/status", "Authorization: Bearer nope\r\n"), playedRemote)->status,
              401);
    EXPECT_EQ(ask(server->port(), get("/v1/status", "Authorization: Bearer " + token + "\r\n"), playedRemote)
                  ->status,
              200);
    // Loopback clients need none.
    EXPECT_EQ(ask(server->port(), get("/v1/status"))->status, 200);
    EXPECT_EQ(handled, 2);

    // The same token after a restart, so remote scripts keep working.
    server.reset();
    auto restarted = makeServer(/*allowRemote=*/true);
    EXPECT_EQ(restarted->apiToken(), token);
}

TEST_F(LocalAPIAccessTest, ForeignPagesAreRefusedTheServersOwnPageIsNot) {
    auto server = makeServer(/*allowRemote=*/false);
    const std::string port = std::to_string(server->port());
    const std::string upgrade =
        "GET /v1/ws HTTP/1.1\r\nHost: 127.0.0.1:" + port +
        "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: a2V5\r\n";

    auto post = ask(server->port(), LocalAPITest::post("/v1/tap", "{}", "Origin: http://evil.example\r\n"));
    EXPECT_EQ(post->status, 403);
    EXPECT_EQ(errorOf(post), "forbidden origin");
    auto preflight = ask(server->port(), "OPTIONS /v1/tap HTTP/1.1\r\nOrigin: http://evil.example\r\n\r\n");
    EXPECT_EQ(preflight->status, 403);
    auto socket = ask(server->port(), upgrade + "Origin: http://evil.example\r\n\r\n");
    EXPECT_EQ(socket->status, 403);
    auto rebound = ask(server->port(), "GET /v1/status HTTP/1.1\r\nHost: evil.example:" + port + "\r\n\r\n");
    EXPECT_EQ(errorOf(rebound), "forbidden origin");
    EXPECT_EQ(handled, 0);

    for (const std::string& origin : {"http://127.0.0.1:" + port, "http://localhost:" + port}) {
        auto admitted =
            ask(server->port(), LocalAPITest::post("/v1/tap", "{}", "Origin: " + origin + "\r\n"));
        ASSERT_TRUE(admitted);
        EXPECT_EQ(admitted->status, 200) << origin;
        EXPECT_EQ(admitted->header("access-control-allow-origin"), origin);
    }
    RawClient client(server->port());
    client.send(upgrade + "Origin: http://localhost:" + port + "\r\n\r\n");
    EXPECT_TRUE(client.waitForClose(std::chrono::seconds(3)));
    EXPECT_EQ(client.buffered(), "switched");
    EXPECT_EQ(handled, 3);
}
