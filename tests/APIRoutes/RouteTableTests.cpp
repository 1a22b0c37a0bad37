#include "Support/RecordingControlClient.h"
#include "Support/RunCoroutine.h"
#include "VedevaveApp/LocalAPI/LocalAPIRoutes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using nlohmann::json;
using VedevaveApp::LocalAPIRequest;
using VedevaveApp::LocalAPIRoutes;

namespace {

// The route table with a recording phone and a player whose pauses take no time.
class RouteTableTest : public ::testing::Test {
protected:
    RouteTableTest()
        : player([this](std::chrono::nanoseconds duration) { return pause(this, duration); },
                 context.get_executor()),
          routes(hooks, player, nullptr) {
        hooks.controlProvider = [this]() -> ControlKit::ControlClientInterface* {
            return isConnected ? &phone : nullptr;
        };
        hooks.statusProvider = [] { return json{{"connected", true}, {"ok", false}, {"version", 1}}; };
    }

    static asio::awaitable<void> pause(RouteTableTest* test, std::chrono::nanoseconds duration) {
        test->pausedMs += std::chrono::duration_cast<std::chrono::milliseconds>(duration).count();
        co_return;
    }

    std::pair<int, json> send(const std::string& method, const std::string& path, const std::string& body = "") {
        LocalAPIRequest request;
        request.method = method;
        request.path = path;
        request.body = body;
        auto response = TestSupport::runCoroutine(context, routes.route(request));
        return {response.status, json::parse(response.body)};
    }

    // The touches of the recorded calls, e.g. "touch contact 16383 32767".
    std::vector<std::string> touches() {
        std::vector<std::string> found;
        for (const auto& call : phone.calls()) {
            if (call.rfind("touch", 0) == 0 || call.rfind("releaseTouch", 0) == 0 || call.rfind("tap", 0) == 0) {
                found.push_back(call);
            }
        }
        return found;
    }

    asio::io_context context;
    TestSupport::RecordingControlClient phone;
    VedevaveApp::LocalAPIHooks hooks;
    VedevaveApp::WorkflowPlayer player;
    LocalAPIRoutes routes;
    bool isConnected = true;
    int64_t pausedMs = 0;
};

TEST_F(RouteTableTest, TapThroughTheLegacyPrefixUsesDefaultsAndQuantizes) {
    auto [status, answer] = send("POST", "/v1/control/tap", R"({"x": 0.25})");
    EXPECT_EQ(status, 200);
    EXPECT_EQ(answer, json({{"ok", true}, {"action", "tap"}, {"x", 0.25}, {"y", 0.5}}));
    const auto seen = touches();
    ASSERT_FALSE(seen.empty());
    EXPECT_NE(seen.front().find("16383 32767"), std::string::npos) << seen.front();
}

TEST_F(RouteTableTest, PathsMethodsAndThePhoneBeingReady) {
    EXPECT_EQ(send("POST", "/v1/tap/").first, 200); // trailing slash
    auto [status, answer] = send("GET", "/v1/tap/");
    EXPECT_EQ(status, 404);
    EXPECT_EQ(answer["hint"], "GET /v1");
    EXPECT_EQ(answer["path"], "/v1/tap/"); // as sent
    isConnected = false;
    EXPECT_EQ(send("GET", "/v1/tap").first, 503);
    EXPECT_EQ(send("POST", "/v1/tap").second["error"], "not connected");
    // Information needs no phone.
    EXPECT_EQ(send("GET", "/v1/help").second["api"], "vedevave-local");
    auto status2 = send("GET", "/status/").second;
    EXPECT_EQ(status2["ok"], true); // the fixed keys replace the application's
    EXPECT_EQ(status2["version"], 3);
    EXPECT_EQ(status2["connected"], true);
    EXPECT_EQ(send("GET", "/v1/docs").second["ok"], true);
}

TEST_F(RouteTableTest, BodyDefaultsClampsAndErrors) {
    auto wait = send("POST", "/v1/wait", "not json");
    EXPECT_EQ(wait.second["ms"], 500);
    EXPECT_EQ(pausedMs, 500);
    EXPECT_EQ(send("POST", "/v1/wait", R"({"seconds": 0.25})").second["ms"], 250);
    EXPECT_EQ(send("POST", "/v1/wait", R"({"ms": -4})").second["ms"], 0);
    EXPECT_EQ(send("POST", "/v1/wait", R"({"seconds": 1e300})").second["ms"], 600000);
    EXPECT_EQ(send("POST", "/v1/clear", R"({"backspaces": 100})").second["backspaces"], 60);
    EXPECT_EQ(send("POST", "/v1/clear", R"({"backspaces": -5})").second["backspaces"], 0);
    EXPECT_EQ(send("POST", "/v1/open", R"({"app": "   "})"), std::make_pair(400, json{{"ok", false}, {"error", "app required"}}));
    EXPECT_EQ(send("POST", "/v1/open", R"({"name": " Notes "})").second["app"], "Notes");
    EXPECT_EQ(send("POST", "/v1/key", R"({"usage": 70000})").first, 400);
    EXPECT_EQ(send("POST", "/v1/key", R"({"usage": 4, "mods": 256})").first, 400);
    EXPECT_EQ(send("POST", "/v1/key", R"({"usage": 4.5})").first, 200); // a fraction counts as absent
    EXPECT_EQ(send("POST", "/v1/button").second["name"], "home");
    EXPECT_EQ(send("POST", "/v1/keyboard/reset").second["action"], "keyboard_reset");
    EXPECT_EQ(send("POST", "/v1/type", R"({"text": "héllo", "resetBefore": false})").second["chars"], 5);
}

TEST_F(RouteTableTest, SwipeDefaultsFollowX) {
    phone.takeCalls();
    EXPECT_EQ(send("POST", "/v1/swipe", R"({"x": 0.3})").first, 200);
    const auto calls = phone.calls();
    ASSERT_FALSE(calls.empty());
    const int x = static_cast<int>(0.3 * 65535);
    EXPECT_EQ(calls.front(), "touch contact " + std::to_string(x) + " " + std::to_string(static_cast<int>(0.8 * 65535)));
}

TEST_F(RouteTableTest, Batches) {
    EXPECT_EQ(send("POST", "/v1/do", R"({"steps": []})"),
              std::make_pair(200, json{{"ok", true}, {"action", "do"}, {"count", 0}, {"done", json::array()}}));
    auto bare = send("POST", "/v1/do", R"([{"op": "home"}, {"op": "wait", "ms": 250}])");
    EXPECT_EQ(bare.second["done"], json({"home", "wait:250"}));
    EXPECT_EQ(send("POST", "/do", R"([{"kind": "  TaP "}])").second["done"], json({"tap"}));

    phone.takeCalls();
    auto unknown = send("POST", "/v1/do", R"({"steps": [{"op": "home"}, {"op": "jump"}, {"op": "home"}]})");
    EXPECT_EQ(unknown.first, 400);
    EXPECT_EQ(unknown.second, json({{"ok", false}, {"error", "unknown op jump"}, {"at", 1}, {"done", {"home"}}}));
    const auto calls = phone.calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "button home press"), 1); // home ran once

    EXPECT_EQ(send("POST", "/v1/do", R"([{"op": "open", "app": "  "}])").second,
              json({{"ok", false}, {"error", "open requires app"}, {"at", 0}, {"done", json::array()}}));
    EXPECT_EQ(send("POST", "/v1/do", R"([{"op": "button"}])").second["done"], json({"button:home"}));
    EXPECT_EQ(send("POST", "/v1/do", R"([{"op": "wait", "ms": -3}])").second["done"], json({"wait:0"}));
    EXPECT_EQ(send("POST", "/v1/do", R"({"op": "home"})").second["error"], "steps array required");
    EXPECT_EQ(send("POST", "/v1/do", R"([{}])").second["error"], "missing op");
    EXPECT_EQ(send("POST", "/v1/do", R"([{"op": "key", "usage": -1}])").first, 400);

    json many = json::array();
    for (int i = 0; i < 257; ++i) {
        many.push_back({{"op", "wait"}, {"ms", 0}});
    }
    auto tooMany = send("POST", "/v1/do", many.dump());
    EXPECT_EQ(tooMany.first, 400);
    EXPECT_EQ(tooMany.second["error"], "too many steps: a batch holds at most 256");
}

TEST(RouteTableDocs, FirstReadableNonEmptyFileWins) {
    const auto folder = std::filesystem::temp_directory_path() / ("vdv-docs-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "empty.md").close();
    std::ofstream(folder / "bad.md") << "\xff\xfe";
    std::ofstream(folder / "API.md") << "# API\n";
    auto payload = LocalAPIRoutes::docsPayload({folder / "missing.md", folder / "empty.md", folder / "bad.md",
                                                folder / "API.md"});
    EXPECT_EQ(payload["markdown"], "# API\n");
    EXPECT_EQ(payload["path"], (folder / "API.md").string());
    EXPECT_EQ(LocalAPIRoutes::docsPayload({folder / "missing.md"})["hint"], "See docs/API.md in the Vedevave repo");
    std::filesystem::remove_all(folder);
    // The repository's own reference is found from the build tree.
    EXPECT_TRUE(LocalAPIRoutes::docsPayload(LocalAPIRoutes::docsCandidates()).contains("markdown"));
}

} // namespace
