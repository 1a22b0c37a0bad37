#include "Session/SessionFixture.h"
#include "Support/SimpleHttp.h"
#include "VedevaveApp/LocalAPI/LocalAPIRoutes.h"
#include "VedevaveApp/LocalAPI/LocalAPIServer.h"

#include <future>

using namespace SessionTest;
using nlohmann::json;

namespace {

// The whole path of a request: HTTP on loopback, the route table on the main executor, the player,
// the control client and the simulated phone, read back through the phone's debug state.
class ApiWithSimulatedPhone : public SessionFixture {
protected:
    void SetUp() override {
        SessionFixture::SetUp();
        auto& sessions = makeController();
        hooks().controlProvider = [this]() -> ControlKit::ControlClientInterface* {
            return controller && controller->didRevealMirror() ? &control : nullptr;
        };
        routes = std::make_unique<VedevaveApp::LocalAPIRoutes>(hooks(), VedevaveApp::WorkflowPlayer::shared(), nullptr);
        server.setHandler([this](VedevaveApp::LocalAPIRequest request) { return routes->route(std::move(request)); });
        server.start(0);
        sessions.startBoot(phone);
        ASSERT_TRUE(runUntil([&] { return isConnected(); }));
    }
    void TearDown() override {
        server.stop();
        SessionFixture::TearDown();
    }

    VedevaveApp::LocalAPIHooks& hooks() { return server.hooks; }

    // Sends on another thread while this one runs the main executor that answers.
    std::pair<int, json> post(const std::string& path, const std::string& body) {
        auto answer = std::async(std::launch::async, [this, path, body] {
            int status = 0;
            std::string text = TestSupport::httpRequest(server.port(), "POST", path, body, &status);
            return std::make_pair(status, json::parse(text, nullptr, false));
        });
        runUntil([&] { return answer.wait_for(0ms) == std::future_status::ready; }, 60s);
        return answer.get();
    }

    VedevaveApp::LocalAPIServer server;
    std::unique_ptr<VedevaveApp::LocalAPIRoutes> routes;
};

TEST_F(ApiWithSimulatedPhone, TapReachesThePhoneAtTheCentre) {
    auto [status, answer] = post("/v1/tap", "{}");
    EXPECT_EQ(status, 200);
    EXPECT_EQ(answer["action"], "tap");
    const auto state = debugState();
    bool sawCentre = false;
    for (const auto& touch : state["touches"]) {
        sawCentre = sawCentre || (touch["x"] == 32767 && touch["y"] == 32767);
    }
    EXPECT_TRUE(sawCentre) << state["touches"].dump();
}

TEST_F(ApiWithSimulatedPhone, BatchOpensCalculatorAndTypes) {
    post("/v1/spotlight", "{}");
    if (debugState()["screen"] != "spotlight") {
        GTEST_SKIP() << "this phone build has no Spotlight yet";
    }
    auto [status, answer] = post("/v1/do", R"({"steps": [{"op": "home"}, {"op": "open", "app": "Calculator"},
                                                          {"op": "type", "text": "12+30"}, {"op": "enter"}]})");
    EXPECT_EQ(status, 200) << answer.dump();
    EXPECT_EQ(answer["done"], json({"home", "open:Calculator", "type", "enter"}));
    const auto state = debugState();
    EXPECT_EQ(state["foreground"]["name"], "Calculator") << state.dump();
    EXPECT_NE(state.dump().find("42"), std::string::npos) << "12+30 evaluated";
}

} // namespace
