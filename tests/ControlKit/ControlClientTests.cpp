#include "ControlKit/ControlClient.h"
#include "ControlKit/HidMessages.h"
#include "Support/RunCoroutine.h"
#include "Support/TestHttpServer.h"
#include "Support/UnixStreamRecorder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace std::chrono_literals;
using ControlKit::ControlClient;
using ControlKit::ControlClientRequestError;
namespace Decoding = ControlKit::ControlDecoding;
using nlohmann::json;

namespace {

struct AnswerCase {
    long status;
    std::string body;
    ControlClientRequestError::Kind kind;
    int errorStatus;
    std::optional<std::string> code;
    std::string message;
    bool allowsFallback;
};

TEST(ControlDecoding, ErrorAnswers) {
    using Kind = ControlClientRequestError::Kind;
    const std::vector<AnswerCase> cases = {
        {404, R"({"error":"Not Found"})", Kind::endpointUnavailable, 0, std::nullopt,
         "The running phone engine predates direct app launch.", true},
        {404, R"({"error":{"code":"app_missing","message":"not found"}})", Kind::rejected, 404, "app_missing",
         "not found", false},
        {503, R"({"message":"launch service busy"})", Kind::rejected, 503, std::nullopt, "launch service busy", true},
        {500, "", Kind::rejected, 500, std::nullopt, "Phone control request failed with HTTP 500.", false},
        {409, R"({"code":"busy","error":"phone locked"})", Kind::rejected, 409, "busy", "phone locked", false},
        {200, "{}", Kind::invalidResponse, 0, std::nullopt, "The phone control engine returned an invalid response.",
         false},
        {200, "{not json", Kind::invalidResponse, 0, std::nullopt,
         "The phone control engine returned an invalid response.", false},
        {201, "[1,2]", Kind::invalidResponse, 0, std::nullopt,
         "The phone control engine returned an invalid response.", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.status) + " " + c.body);
        try {
            Decoding::interpretAnswer(c.status, c.body);
            ADD_FAILURE() << "no error";
        } catch (const ControlClientRequestError& error) {
            EXPECT_EQ(error.kind(), c.kind);
            EXPECT_EQ(error.status(), c.errorStatus);
            EXPECT_EQ(error.code(), c.code);
            EXPECT_EQ(error.errorDescription(), c.message);
            EXPECT_EQ(error.allowsAppMacroFallback(), c.allowsFallback);
        }
    }
    EXPECT_EQ(Decoding::interpretAnswer(204, R"({"ok":true})")["ok"], true);
}

TEST(ControlDecoding, ForegroundReports) {
    auto status = Decoding::decodeForeground(json::parse(
        R"({"available":true,"fresh":false,"monitor":false,"bundleId":"com.apple.calculator","name":"Calculator",
            "state":"running","timestamp":1.5,"ageMs":20})"));
    EXPECT_TRUE(status.available);
    EXPECT_FALSE(status.fresh);
    EXPECT_EQ(status.monitor, "disconnected");
    EXPECT_EQ(status.bundleIdentifier, "com.apple.calculator");
    EXPECT_EQ(status.ageMilliseconds, 20);
    EXPECT_EQ(Decoding::decodeForeground(json::parse(R"({"available":true,"fresh":true,"monitor":3})")).monitor,
              "unknown");
    EXPECT_EQ(Decoding::decodeForeground(json::parse(R"({"available":true,"fresh":true,"monitor":true})")).monitor,
              "connected");
    for (const char* bad : {R"({"available":true})", R"({"available":"yes","fresh":true})"}) {
        EXPECT_THROW(Decoding::decodeForeground(json::parse(bad)), ControlClientRequestError) << bad;
    }
}

TEST(ControlDecoding, LaunchReceipts) {
    auto receipt = Decoding::decodeLaunchReceipt(
        json::parse(R"({"ok":true,"launchAccepted":true,"name":"Notes","bundleId":"com.apple.mobilenotes",
                        "pid":42,"foreground":{"available":true}})"),
        "notes");
    EXPECT_EQ(receipt.requested, "notes");
    EXPECT_EQ(receipt.processIdentifier, 42);
    EXPECT_FALSE(receipt.foregroundConfirmed);
    EXPECT_FALSE(receipt.foreground); // a malformed report is dropped, the receipt stands
    for (const char* bad : {R"({"ok":true,"launchAccepted":false,"name":"Notes","bundleId":"x"})",
                            R"({"ok":true,"launchAccepted":true,"name":"","bundleId":"x"})",
                            R"({"launchAccepted":true,"name":"Notes","bundleId":"x"})"}) {
        EXPECT_THROW(Decoding::decodeLaunchReceipt(json::parse(bad), "n"), ControlClientRequestError) << bad;
    }
}

// An engine stand-in: HTTP control on loopback, HID socket at a unique path.
class ControlClientTest : public ::testing::Test {
protected:
    ControlClientTest() : client(server.url("")) {}

    std::vector<std::string> postsTo(const std::string& path) {
        std::vector<std::string> bodies;
        for (const auto& request : server.received()) {
            if (request.path == path) {
                bodies.push_back(request.body);
            }
        }
        return bodies;
    }
    bool waitForRequests(int count) {
        for (int i = 0; i < 300 && server.requestCount() < count; ++i) {
            std::this_thread::sleep_for(10ms);
        }
        return server.requestCount() >= count;
    }

    TestSupport::TestHttpServer server;
    ControlClient client;
    asio::io_context context;
};

TEST_F(ControlClientTest, WithoutASocketFileEveryActionUsesHttp) {
    for (const char* path : {"/touch", "/button", "/key", "/instant", "/music-safe", "/keyboard-reset"}) {
        server.respond(path, 200, "{}");
    }
    client.setHidSocketPath(TestSupport::uniqueSocketPath("absent")); // no file there
    client.button("home", "press");
    client.key(true, 4, "a", 0x01);
    client.keyboardReset();
    client.tap(10, 20);
    ASSERT_TRUE(waitForRequests(7));
    EXPECT_EQ(postsTo("/button"), (std::vector<std::string>{R"({"name":"home","state":"press"})",
                                                            R"({"name":"home","state":"release"})"}));
    EXPECT_EQ(postsTo("/key"), (std::vector<std::string>{R"({"char":"a","down":true,"mods":1,"usage":4})"}));
    EXPECT_EQ(postsTo("/keyboard-reset"), (std::vector<std::string>{"{}"}));
    EXPECT_EQ(postsTo("/touch"), (std::vector<std::string>{R"({"type":"contact","x":10,"y":20})",
                                                           R"({"type":"contact","x":10,"y":20})",
                                                           R"({"type":"release","x":10,"y":20})"}));
    EXPECT_EQ(server.received().front().headers["content-type"], "application/json");
}

TEST_F(ControlClientTest, ASocketFileSendsOverHidAndButtonsPressThenRelease) {
    TestSupport::UnixStreamRecorder engine(TestSupport::uniqueSocketPath("hid-path"));
    client.setHidSocketPath(engine.path());
    client.button("home", "press");
    client.musicSafe(true);
    const std::string expected = ControlKit::HidMessages::button("home", true) +
                                 ControlKit::HidMessages::button("home", false) +
                                 ControlKit::HidMessages::musicSafe(true);
    ASSERT_TRUE(engine.waitForBytes(expected.size(), 2s));
    EXPECT_EQ(engine.bytes(), expected);
    EXPECT_EQ(server.requestCount(), 0);
}

TEST_F(ControlClientTest, SwipeUpSendsSixTouchesTwentyMillisecondsApart) {
    TestSupport::UnixStreamRecorder engine(TestSupport::uniqueSocketPath("swipe"));
    client.setHidSocketPath(engine.path());
    client.swipeUp();
    ASSERT_TRUE(engine.waitForBytes(36, 2s));
    std::string expected;
    for (int y : {64000, 52000, 40000, 28000, 16000}) {
        expected += ControlKit::HidMessages::touch(true, 32768, y);
    }
    expected += ControlKit::HidMessages::touch(false, 32768, 8000);
    EXPECT_EQ(engine.bytes(), expected);
    auto chunks = engine.chunks();
    ASSERT_EQ(chunks.size(), 6u);
    EXPECT_GE(chunks[5].at - chunks[0].at, 90ms);
}

TEST_F(ControlClientTest, OpenAppDirectReceiptsAndErrors) {
    server.route("/open-app", [](const TestSupport::TestHttpRequest& request, const auto& send) {
        const auto name = json::parse(request.body)["name"].get<std::string>();
        std::string body;
        int status = 200;
        if (name == "Notes") {
            body = R"({"ok":true,"launchAccepted":true,"foregroundConfirmed":true,"name":"Notes",)"
                   R"("bundleId":"com.apple.mobilenotes","pid":7})";
        } else if (name == "Busy") {
            status = 503;
            body = R"({"error":{"code":"busy","message":"try later"}})";
        } else {
            status = 404;
            body = R"({"error":"not found"})";
        }
        send("HTTP/1.1 " + std::to_string(status) + " X\r\nContent-Length: " + std::to_string(body.size()) +
             "\r\n\r\n" + body);
    });
    auto receipt = TestSupport::runCoroutine(context, client.openAppDirect("  Notes\n"));
    EXPECT_EQ(receipt.name, "Notes");
    EXPECT_EQ(receipt.requested, "Notes");
    EXPECT_TRUE(receipt.foregroundConfirmed);
    EXPECT_EQ(json::parse(server.received().back().body), json({{"name", "Notes"}}));

    auto errorOf = [&](const std::string& name) {
        try {
            TestSupport::runCoroutine(context, client.openAppDirect(name));
        } catch (const ControlClientRequestError& error) {
            return error;
        }
        throw std::logic_error("no error for " + name);
    };
    EXPECT_TRUE(errorOf("Busy").allowsAppMacroFallback());
    EXPECT_EQ(errorOf("Busy").code(), "busy");
    EXPECT_EQ(errorOf("Ghost").errorDescription(), "The running phone engine predates direct app launch.");
    const int before = server.requestCount();
    auto empty = errorOf(" \n\t");
    EXPECT_EQ(empty.status(), 400);
    EXPECT_EQ(empty.code(), "invalid_selector");
    EXPECT_EQ(empty.errorDescription(), "App name must not be empty.");
    EXPECT_EQ(server.requestCount(), before); // nothing was sent

    client.setBaseURL("http://127.0.0.1:1");
    auto unreachable = errorOf("Notes");
    EXPECT_EQ(unreachable.kind(), ControlClientRequestError::Kind::endpointUnavailable);
    EXPECT_EQ(unreachable.errorDescription().rfind("CoreDevice app control is unavailable: ", 0), 0u);
    client.setBaseURL("not a url");
    EXPECT_EQ(errorOf("Notes").errorDescription(), "The phone control engine URL is invalid.");
}

TEST_F(ControlClientTest, ForegroundStatus) {
    server.respond("/status", 200, R"({"ok":true,"foreground":{"available":true,"fresh":true,"name":"Safari"}})");
    auto status = TestSupport::runCoroutine(context, client.foregroundAppStatus());
    EXPECT_EQ(status.name, "Safari");
    EXPECT_EQ(status.monitor, "unknown");
}

TEST_F(ControlClientTest, StatusWithoutForegroundReportIsUnavailable) {
    server.respond("/status", 200, R"({"ok":true})");
    try {
        TestSupport::runCoroutine(context, client.foregroundAppStatus());
        FAIL();
    } catch (const ControlClientRequestError& error) {
        EXPECT_EQ(error.errorDescription(), "This phone engine does not expose foreground-app state.");
    }
}

} // namespace
