// The fault switches recovery tests rely on: exit after N ms with a status, slow readiness, a
// missing or late metadata file, and /open-app failing with 404 "not found" or 503.
#include "EngineTestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace EngineTest;
namespace fs = std::filesystem;

TEST(Faults, ExitAfterAWhileWithTheGivenStatus) {
    EngineLaunch launch;
    launch.environment = {{"VEDEVAVE_SIM_EXIT_AFTER_MS", "300"}, {"VEDEVAVE_SIM_EXIT_STATUS", "9"}};
    EngineProcess engine(launch);
    EXPECT_TRUE(engine.isRunning());
    const auto status = engine.waitForExit(std::chrono::milliseconds(3000));
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 9);
    EXPECT_NE(engine.log().find("fault: exiting with status 9"), std::string::npos);
    EXPECT_FALSE(fs::exists(engine.captureSocketPath())); // the device went away with the engine
}

TEST(Faults, ExitThroughTheDebugEndpoint) {
    EngineProcess engine;
    const auto response = engine.post("/debug/fault", R"({"exitAfterMs":50,"exitStatus":4})");
    ASSERT_EQ(response.status, 200);
    EXPECT_EQ(response.json()["faults"]["exitPending"], true);
    const auto status = engine.waitForExit(std::chrono::milliseconds(3000));
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 4);
}

TEST(Faults, SlowReadinessAnswers503First) {
    EngineLaunch launch;
    launch.environment = {{"VEDEVAVE_SIM_STATUS_DELAY_MS", "700"}};
    launch.waitUntilReady = false;
    const auto start = std::chrono::steady_clock::now();
    EngineProcess engine(launch);
    ASSERT_TRUE(engine.waitForStatus(503, std::chrono::milliseconds(3000))) << engine.log();
    ASSERT_TRUE(engine.waitForStatus(200, std::chrono::milliseconds(5000)));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(650));
}

TEST(Faults, MetadataNeverWritten) {
    EngineLaunch launch;
    launch.environment = {{"VEDEVAVE_SIM_NO_METADATA", "1"}};
    EngineProcess engine(launch);
    EXPECT_EQ(engine.get("/status").status, 200);
    EXPECT_FALSE(fs::exists(engine.rsdPath()));
    EXPECT_EQ(engine.debugState()["faults"]["metadata"], "never");
}

TEST(Faults, MetadataWrittenLate) {
    EngineLaunch launch;
    launch.environment = {{"VEDEVAVE_SIM_METADATA_DELAY_MS", "500"}};
    EngineProcess engine(launch);
    EXPECT_FALSE(fs::exists(engine.rsdPath()));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (!fs::exists(engine.rsdPath()) && std::chrono::steady_clock::now() < deadline) {
        usleep(20'000);
    }
    EXPECT_TRUE(fs::exists(engine.rsdPath()));
}

TEST(Faults, OpenAppAnswers404NotFoundWithoutACode) {
    EngineLaunch launch;
    launch.environment = {{"VEDEVAVE_SIM_OPEN_APP_FAIL", "404"}};
    EngineProcess engine(launch);
    const auto response = engine.post("/open-app", R"({"name":"Notes"})");
    EXPECT_EQ(response.status, 404);
    const auto json = response.json();
    EXPECT_EQ(json["error"], "Not Found");
    EXPECT_FALSE(json.contains("code"));
    EXPECT_EQ(engine.debugState()["screen"], "home"); // nothing launched
}

TEST(Faults, OpenAppAnswers503ThroughTheDebugEndpointAndRecovers) {
    EngineProcess engine;
    ASSERT_EQ(engine.post("/debug/fault", R"({"openApp":"503"})").status, 200);
    const auto busy = engine.post("/open-app", R"({"name":"Notes"})");
    EXPECT_EQ(busy.status, 503);
    const auto json = busy.json();
    EXPECT_TRUE(json["message"].is_string());
    EXPECT_EQ(json.size(), 1u); // only "message"
    ASSERT_EQ(engine.post("/debug/fault", R"({"openApp":"none"})").status, 200);
    EXPECT_EQ(engine.post("/open-app", R"({"name":"Notes"})").status, 200);
}

TEST(Faults, BadFaultBodiesAre400) {
    EngineProcess engine;
    EXPECT_EQ(engine.post("/debug/fault", R"({"exitAfterMs":-1})").status, 400);
    EXPECT_EQ(engine.post("/debug/fault", R"({"openApp":"418"})").status, 400);
    EXPECT_EQ(engine.post("/debug/fault", R"({"exitAfterMs":10,"exitStatus":300})").status, 400);
    EXPECT_EQ(engine.post("/debug/fault", "[]").status, 400);
    EXPECT_TRUE(engine.isRunning());
}

TEST(Faults, StatusDelayThroughTheDebugEndpoint) {
    EngineProcess engine;
    ASSERT_EQ(engine.post("/debug/fault", R"({"statusDelayMs":400})").status, 200);
    EXPECT_EQ(engine.get("/status").status, 503);
    EXPECT_TRUE(engine.waitForStatus(200, std::chrono::milliseconds(3000)));
}
