// The bytes of an answer, and who is let in: pure checks without sockets.
#include "VedevaveApp/LocalAPI/LocalAPIAccessPolicy.h"
#include "VedevaveApp/LocalAPI/LocalAPIResponse.h"
#include "VedevaveApp/LocalAPI/LocalAPIServer.h"

#include <gtest/gtest.h>

using namespace VedevaveApp;

TEST(LocalAPIResponse, JSONAnswerHasTheFixedHeaderSetAndNoCacheLine) {
    const auto bytes = LocalAPIResponse::json(200, {{"ok", true}}).serialize("http://127.0.0.1:8090");
    EXPECT_EQ(bytes, "HTTP/1.1 200 OK\r\n"
                     "Content-Type: application/json\r\n"
                     "Content-Length: 11\r\n"
                     "Access-Control-Allow-Origin: http://127.0.0.1:8090\r\n"
                     "Access-Control-Allow-Methods: GET, POST, OPTIONS\r\n"
                     "Access-Control-Allow-Headers: Content-Type, Authorization\r\n"
                     "Connection: keep-alive\r\n"
                     "\r\n"
                     "{\"ok\":true}");
}

TEST(LocalAPIResponse, RawAnswersAreUncacheableAndHeadAnswersCarryNoBody) {
    const auto response = LocalAPIResponse::raw(200, "image/jpeg", "JPEGDATA");
    EXPECT_EQ(response.serialize("o"), "HTTP/1.1 200 OK\r\n"
                                       "Content-Type: image/jpeg\r\n"
                                       "Content-Length: 8\r\n"
                                       "Cache-Control: no-cache, no-store, must-revalidate\r\n"
                                       "Access-Control-Allow-Origin: o\r\n"
                                       "Access-Control-Allow-Methods: GET, POST, OPTIONS\r\n"
                                       "Access-Control-Allow-Headers: Content-Type, Authorization\r\n"
                                       "Connection: keep-alive\r\n"
                                       "\r\n"
                                       "JPEGDATA");
    const auto head = response.serialize("o", /*isHead=*/true, /*keepAlive=*/false);
    EXPECT_NE(head.find("Content-Length: 0\r\n"), std::string::npos);
    EXPECT_NE(head.find("Connection: close\r\n\r\n"), std::string::npos);
    EXPECT_EQ(head.substr(head.size() - 4), "\r\n\r\n");
}

TEST(LocalAPIResponse, ReasonPhrases) {
    const std::pair<int, const char*> cases[] = {{200, "OK"},
                                                 {202, "Accepted"},
                                                 {204, "No Content"},
                                                 {400, "Bad Request"},
                                                 {403, "Forbidden"},
                                                 {404, "Not Found"},
                                                 {409, "Conflict"},
                                                 {429, "Too Many Requests"},
                                                 {503, "Service Unavailable"},
                                                 {500, "Error"},
                                                 {418, "Error"}};
    for (const auto& [status, phrase] : cases) {
        EXPECT_EQ(reasonPhrase(status), phrase) << status;
    }
    EXPECT_EQ(optionsResponse().serialize("o").substr(0, 40), "HTTP/1.1 204 No Content\r\nContent-Type: t");
}

TEST(LocalAPIResponse, TextThatIsNotUTF8IsReplacedNotDropped) {
    // An answer echoing client bytes must not collapse to "{}".
    const auto response = LocalAPIResponse::json(404, {{"path", "/a\xFF"}});
    EXPECT_EQ(response.status, 404);
    EXPECT_EQ(response.body, "{\"path\":\"/a\xEF\xBF\xBD\"}");
}

namespace {

LocalAPIRequest requestWith(std::vector<std::pair<std::string, std::string>> headers, bool isRemote = false) {
    LocalAPIRequest request;
    request.method = "POST";
    request.path = "/v1/tap";
    request.headers = std::move(headers);
    request.isFromRemotePeer = isRemote;
    return request;
}

} // namespace

TEST(LocalAPIAccessPolicy, DecidesByPeerTokenHostAndOrigin) {
    const auto loopback = asio::ip::make_address("127.0.0.1");
    const auto lan = asio::ip::make_address("192.168.1.20");
    const std::string token(64, 'a');
    struct Case {
        const char* name;
        bool allowRemote;
        bool isRemote;
        asio::ip::address server;
        std::vector<std::pair<std::string, std::string>> headers;
        int expected; // 0: admitted
    };
    const Case cases[] = {
        {"script without Origin", false, false, loopback, {{"host", "127.0.0.1:8090"}}, 0},
        {"no Host at all", false, false, loopback, {}, 0},
        {"own page",
         false,
         false,
         loopback,
         {{"host", "127.0.0.1:8090"}, {"origin", "http://127.0.0.1:8090"}},
         0},
        {"own page by name",
         false,
         false,
         loopback,
         {{"host", "localhost:8090"}, {"origin", "http://localhost:8090"}},
         0},
        {"IPv6 loopback",
         false,
         false,
         loopback,
         {{"host", "[::1]:8090"}, {"origin", "http://[::1]:8090"}},
         0},
        {"foreign site",
         false,
         false,
         loopback,
         {{"host", "127.0.0.1:8090"}, {"origin", "https://evil.example"}},
         403},
        {"other local port",
         false,
         false,
         loopback,
         {{"host", "127.0.0.1:8090"}, {"origin", "http://localhost:3000"}},
         403},
        {"https own host",
         false,
         false,
         loopback,
         {{"host", "127.0.0.1:8090"}, {"origin", "https://127.0.0.1:8090"}},
         403},
        {"sandboxed page", false, false, loopback, {{"origin", "null"}}, 403},
        {"rebound name", false, false, loopback, {{"host", "evil.example:8090"}}, 403},
        {"garbage Host", false, false, loopback, {{"host", "[::1"}}, 403},
        {"remote, loopback only", false, true, lan, {{"host", "192.168.1.20:8090"}}, 403},
        {"remote without token", true, true, lan, {{"host", "192.168.1.20:8090"}}, 401},
        {"remote, wrong token", true, true, lan, {{"authorization", "Bearer " + std::string(64, 'b')}}, 401},
        {"remote, token",
         true,
         true,
         lan,
         {{"authorization", "Bearer " + token}, {"host", "phone-rig.local:8090"}},
         0},
        {"remote, token, scheme case", true, true, lan, {{"authorization", "bearer  " + token}}, 0},
        {"remote, token, foreign page",
         true,
         true,
         lan,
         {{"authorization", "Bearer " + token}, {"origin", "http://evil.example"}},
         403},
        {"local page over LAN address",
         true,
         false,
         lan,
         {{"host", "192.168.1.20:8090"}, {"origin", "http://192.168.1.20:8090"}},
         0},
    };
    for (const auto& c : cases) {
        LocalAPIAccessPolicy policy;
        policy.allowRemote = c.allowRemote;
        policy.token = token;
        const auto refusal = policy.check(requestWith(c.headers, c.isRemote), c.server, 8090);
        EXPECT_EQ(refusal ? refusal->status : 0, c.expected) << c.name;
    }
}

TEST(LocalAPIAccessPolicy, RemoteClientsAreRefusedWhenNoTokenExists) {
    LocalAPIAccessPolicy policy;
    policy.allowRemote = true;
    const auto refusal = policy.check(requestWith({{"authorization", "Bearer "}}, true),
                                      asio::ip::make_address("10.0.0.2"), 8090);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->error, "unauthorized");
}

TEST(LocalAPIAccessPolicy, LoopbackAddresses) {
    for (const char* text : {"127.0.0.1", "127.4.5.6", "::1", "::ffff:127.0.0.1"}) {
        EXPECT_TRUE(LocalAPIAccessPolicy::isLoopback(asio::ip::make_address(text))) << text;
    }
    for (const char* text : {"10.0.0.1", "128.0.0.1", "::", "::ffff:10.0.0.1", "fe80::1"}) {
        EXPECT_FALSE(LocalAPIAccessPolicy::isLoopback(asio::ip::make_address(text))) << text;
    }
}

TEST(LocalAPIServerSettings, PortAndRemoteAccessFromTheEnvironment) {
    const std::pair<std::optional<std::string>, uint16_t> ports[] = {
        {std::nullopt, 8090}, {"", 8090},    {"9000", 9000},
        {"abc", 8090},        {"90x", 8090}, {"0", 8090},
        {"65536", 8090},      {"-1", 8090},  {"99999999999999999999", 8090},
        {"65535", 65535}};
    for (const auto& [value, expected] : ports) {
        EXPECT_EQ(LocalAPIServer::portFromEnvironment(value), expected) << value.value_or("(unset)");
    }
    for (const char* yes : {"1", "true", "YES", " on "}) {
        EXPECT_TRUE(LocalAPIServer::remoteAccessFromEnvironment(std::string(yes))) << yes;
    }
    for (const char* no : {"0", "", "false", "2"}) {
        EXPECT_FALSE(LocalAPIServer::remoteAccessFromEnvironment(std::string(no))) << no;
    }
    EXPECT_FALSE(LocalAPIServer::remoteAccessFromEnvironment(std::nullopt));
}
