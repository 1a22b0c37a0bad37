#include "SessionFixture.h"

#include "DeviceKit/TunnelSession.h"
#include "Platform/PowerEvents.h"
#include "Support/RunCoroutine.h"

#include <fstream>

using namespace SessionTest;
using VedevaveApp::ConnectionState;
using VedevaveApp::SessionController;
using Kind = ConnectionState::Kind;

namespace {

// The touches the engine received, as (contact, x, y, via).
std::vector<std::tuple<bool, int, int, std::string>> touches(const nlohmann::json& state) {
    std::vector<std::tuple<bool, int, int, std::string>> out;
    for (const auto& t : state["touches"]) {
        out.emplace_back(t["contact"].get<bool>(), t["x"].get<int>(), t["y"].get<int>(), t["via"].get<std::string>());
    }
    return out;
}

TEST_F(SessionFixture, BootsToConnectedAndTapsReachThePhoneOverHidAndHttp) {
    auto& sessions = makeController();
    sessions.startBoot(phone);
    ASSERT_TRUE(runUntil([&] { return isConnected(); })) << (window.chips.empty() ? "" : window.chips.back());
    EXPECT_TRUE(sessions.didRevealMirror());
    EXPECT_EQ(sessions.codecLabel(), "kwvs3");
    EXPECT_EQ(window.hintsShown, 1);
    EXPECT_FALSE(window.overlayShown);
    for (const char* step : {"Opening tunnel…", "Attaching controls…", "Waiting for screen…", "Connected"}) {
        EXPECT_TRUE(window.sawChip(step)) << step;
    }
    EXPECT_NE(std::find(window.linkBadges.begin(), window.linkBadges.end(), "USB tunnel"), window.linkBadges.end());
    EXPECT_NE(std::find(window.linkBadges.begin(), window.linkBadges.end(), "USB · HID"), window.linkBadges.end());

    control.tap(32767, 32767);
    ASSERT_TRUE(runUntil([&] { return touches(debugState()).size() >= 3; }, 5s));
    auto seen = touches(debugState());
    EXPECT_EQ(seen[0], std::make_tuple(true, 32767, 32767, std::string("hid")));
    EXPECT_EQ(seen[2], std::make_tuple(false, 32767, 32767, std::string("hid")));

    // Without the socket file the same client falls back to the engine's HTTP interface.
    const auto endpoints = sessions.session()->rsdSession();
    ASSERT_TRUE(endpoints);
    std::filesystem::remove(endpoints->hidSocketPath);
    control.tap(1000, 2000);
    ASSERT_TRUE(runUntil([&] { return touches(debugState()).size() >= 6; }, 5s));
    seen = touches(debugState());
    EXPECT_EQ(seen[3], std::make_tuple(true, 1000, 2000, std::string("http")));
    EXPECT_EQ(seen[5], std::make_tuple(false, 1000, 2000, std::string("http")));
}

TEST_F(SessionFixture, OpenAppDirectReceiptsAndEngineErrors) {
    auto& sessions = makeController();
    sessions.startBoot(phone);
    ASSERT_TRUE(runUntil([&] { return isConnected(); }));
    asio::io_context context;
    auto receipt = TestSupport::runCoroutine(context, control.openAppDirect(" calculator "));
    EXPECT_EQ(receipt.name, "Calculator");
    EXPECT_TRUE(receipt.launchAccepted);
    ASSERT_TRUE(receipt.foreground);
    EXPECT_EQ(receipt.foreground->name, "Calculator");

    auto failureFor = [&](const std::string& fault) {
        TestSupport::httpPost(enginePort, "/debug/fault", R"({"openApp":")" + fault + R"("})");
        try {
            TestSupport::runCoroutine(context, control.openAppDirect("Notes"));
        } catch (const ControlKit::ControlClientRequestError& error) {
            return error;
        }
        throw std::logic_error("no error");
    };
    auto notFound = failureFor("404");
    EXPECT_EQ(notFound.errorDescription(), "The running phone engine predates direct app launch.");
    EXPECT_TRUE(notFound.allowsAppMacroFallback());
    auto busy = failureFor("503");
    EXPECT_EQ(busy.status(), 503);
    EXPECT_TRUE(busy.allowsAppMacroFallback());
    try {
        TestSupport::httpPost(enginePort, "/debug/fault", R"({"clear":true})");
        TestSupport::runCoroutine(context, control.openAppDirect("No Such App"));
        FAIL();
    } catch (const ControlKit::ControlClientRequestError& error) {
        EXPECT_EQ(error.kind(), ControlKit::ControlClientRequestError::Kind::rejected);
        EXPECT_FALSE(error.allowsAppMacroFallback());
    }
}

TEST_F(SessionFixture, EngineDeathAfterConnectionRebootsTwiceThenFails) {
    auto& sessions = makeController();
    sessions.startBoot(phone);
    ASSERT_TRUE(runUntil([&] { return isConnected(); }));
    for (int death = 1; death <= 3; ++death) {
        const pid_t before = *sessions.session()->processIdentifier();
        TestSupport::httpPost(enginePort, "/debug/fault", R"({"exitAfterMs":10,"exitStatus":7})");
        if (death < 3) {
            ASSERT_TRUE(runUntil([&] {
                return isConnected() && sessions.session() && sessions.session()->processIdentifier() != before;
            })) << "death " << death;
            EXPECT_EQ(sessions.engineRecoveryAttempt(), death);
            EXPECT_TRUE(window.sawChip("Control engine restarted… (" + std::to_string(death) + "/3)"));
        } else {
            ASSERT_TRUE(runUntil([&] { return sessions.connectionState().kind == Kind::failed; }));
        }
    }
    EXPECT_EQ(sessions.connectionState().text, "Control engine stopped");
    EXPECT_EQ(sessions.connectionState().detail,
              "Couldn’t recover automatically. Unlock the phone, quit other mirrors, then Try again.");
}

TEST_F(SessionFixture, ReadinessTimeoutIsRetriedTwiceThenShownAsFailure) {
    Platform::Environment::set("VEDEVAVE_SIM_STATUS_DELAY_MS", "10000");
    options.readinessTimeout = 400ms;
    auto& sessions = makeController();
    sessions.startBoot(phone);
    ASSERT_TRUE(runUntil([&] { return sessions.connectionState().kind == Kind::failed; }, 30s));
    Platform::Environment::unset("VEDEVAVE_SIM_STATUS_DELAY_MS");
    EXPECT_TRUE(window.sawChip("Reopening connection… (1/3)"));
    EXPECT_TRUE(window.sawChip("Reopening connection… (2/3)"));
    EXPECT_FALSE(window.sawChip("Reopening connection… (3/3)"));
    EXPECT_EQ(sessions.connectionState().text, "Couldn’t connect");
    EXPECT_EQ(sessions.connectionState().detail,
              "The phone didn’t answer in time. Unlock it, keep USB plugged in, and enable Developer Mode.");
    ASSERT_FALSE(window.overlays.empty());
    EXPECT_TRUE(window.overlays.back().isFailed);
    EXPECT_FALSE(sessions.session()); // the engine of the last attempt was stopped too
}

TEST_F(SessionFixture, AnEngineThatDiesDuringBootIsReportedAsStopped) {
    const auto script = folder / "dies.sh";
    std::ofstream(script) << "echo dying\nexit 1\n";
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    Platform::Environment::set("VEDEVAVE_ENGINE", script.string());
    auto& sessions = makeController();
    sessions.startBoot(phone);
    ASSERT_TRUE(runUntil([&] { return sessions.connectionState().kind == Kind::failed; }));
    EXPECT_EQ(sessions.connectionState().detail,
              "The control engine stopped. Unlock the iPhone, quit other mirrors (QuickTime), and try again.");
}

TEST_F(SessionFixture, WakingWithTheEngineAliveReturnsToConnectedWithoutABoot) {
    options.wakeSettle = 100ms;
    auto& sessions = makeController();
    sessions.installSessionHealthObservers(power);
    sessions.startBoot(phone);
    ASSERT_TRUE(runUntil([&] { return isConnected(); }));
    const pid_t engine = *sessions.session()->processIdentifier();
    power.simulateSleep();
    EXPECT_TRUE(window.sawChip("Mac sleeping…"));
    power.simulateWake();
    EXPECT_EQ(sessions.connectionState().kind, Kind::recovering);
    ASSERT_TRUE(runUntil([&] { return isConnected(); }, 3s));
    EXPECT_EQ(*sessions.session()->processIdentifier(), engine);

    // With the engine gone (and its exit not yet handled), waking boots again.
    sessions.session()->stop();
    power.simulateWake();
    ASSERT_TRUE(runUntil([&] { return isConnected() && sessions.session()->isAlive(); }));
}

TEST(SessionTexts, FriendlyErrorsAndStates) {
    EXPECT_EQ(SessionController::friendlyError("engine exited (1)"),
              "The control engine stopped. Unlock the iPhone, quit other mirrors (QuickTime), and try again.");
    EXPECT_EQ(SessionController::friendlyError(DeviceKit::TunnelError::missingEngine().description()),
              "The control engine is missing. Reinstall the app, or run ./tools/build_engine.sh when developing.");
    EXPECT_EQ(SessionController::friendlyError("tunnel status timeout"),
              "The phone didn’t answer in time. Unlock it, keep USB plugged in, and enable Developer Mode.");
    EXPECT_EQ(SessionController::friendlyError("usbmux recv failed"), "usbmux recv failed");

    EXPECT_EQ(ConnectionState::recovering("Reopening connection…", 2).title(), "Reopening connection… (2/3)");
    EXPECT_EQ(ConnectionState::openingTunnel("Wi\u2011Fi tunnel").badgeSymbol(), "wifi");
    EXPECT_EQ(ConnectionState::openingTunnel("USB tunnel").badgeSymbol(), "cable.connector");
    EXPECT_EQ(ConnectionState::failed("Couldn’t connect", "x").progressLines().front(), "✗  Connection failed");
    EXPECT_EQ(ConnectionState::idle().badgeText(), "USB · waiting");
}

} // namespace
