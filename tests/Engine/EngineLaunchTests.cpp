// The launch contract, against the real executable: arguments, readiness, the metadata file,
// clean termination, and the errors for bad arguments and a taken port.
#include "EngineTestSupport.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace EngineTest;
namespace fs = std::filesystem;

TEST(EngineLaunch, StatusAnswersWithTheForegroundReport) {
    EngineProcess engine;
    const auto status = engine.get("/status");
    ASSERT_EQ(status.status, 200) << engine.log();
    const auto json = status.json();
    EXPECT_EQ(json["udid"], "SIM-TEST");
    EXPECT_EQ(json["transport"], "usb");
    const auto& foreground = json["foreground"];
    ASSERT_TRUE(foreground.is_object());
    EXPECT_EQ(foreground["available"], true);
    EXPECT_EQ(foreground["fresh"], true);
    EXPECT_EQ(foreground["monitor"], "connected");
    EXPECT_EQ(foreground["bundleId"], "com.apple.springboard");
    EXPECT_TRUE(foreground["name"].is_string());
    EXPECT_TRUE(foreground["state"].is_string());
    EXPECT_TRUE(foreground["timestamp"].is_number());
    EXPECT_TRUE(foreground["ageMs"].is_number());
    EXPECT_EQ(status.headers.at("content-type"), "application/json");
}

TEST(EngineLaunch, WritesTheMetadataFileBeforeStatusAnswers) {
    EngineProcess engine;
    std::ifstream in(engine.rsdPath());
    ASSERT_TRUE(in.good()) << "the metadata file must exist once /status answered 200";
    const auto json = nlohmann::json::parse(in, nullptr, false);
    ASSERT_TRUE(json.is_object());
    EXPECT_EQ(json["host"], "127.0.0.1");
    EXPECT_EQ(json["hid_socket"], engine.hidSocketPath());
    EXPECT_EQ(json["video_socket"], engine.videoSocketPath());
    EXPECT_TRUE(fs::is_socket(engine.hidSocketPath()));
    EXPECT_TRUE(fs::is_socket(engine.videoSocketPath()));
    // No temporary file is left behind by the atomic write.
    for (const auto& entry : fs::directory_iterator(engine.folder())) {
        EXPECT_EQ(entry.path().string().find(".tmp."), std::string::npos) << entry.path();
    }
}

TEST(EngineLaunch, TerminateEndsCleanlyAndRemovesTheSockets) {
    EngineProcess engine;
    ASSERT_TRUE(fs::exists(engine.captureDir() + "/SIM-TEST.json"));
    const auto status = engine.terminate();
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 0);
    EXPECT_FALSE(fs::exists(engine.hidSocketPath()));
    EXPECT_FALSE(fs::exists(engine.videoSocketPath()));
    EXPECT_FALSE(fs::exists(engine.captureSocketPath()));
    EXPECT_FALSE(fs::exists(engine.captureDir() + "/SIM-TEST.json"));
    EXPECT_NE(engine.log().find("shutting down"), std::string::npos);
}

TEST(EngineLaunch, BadArgumentsExitNonZeroWithALine) {
    EngineLaunch launch;
    launch.arguments = {"--udid", "X", "--transport", "bluetooth", "--http-port", "1"};
    launch.waitUntilReady = false;
    EngineProcess engine(launch);
    const auto status = engine.waitForExit();
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 2);
    EXPECT_NE(engine.log().find("--transport must be usb or wifi"), std::string::npos) << engine.log();
}

TEST(EngineLaunch, APortInUseExitsNonZeroWithoutTouchingTheOtherEnginesFiles) {
    EngineProcess first;
    EngineLaunch launch;
    launch.arguments = {"--udid", "Y", "--transport", "wifi", "--http-port", std::to_string(first.port())};
    launch.waitUntilReady = false;
    EngineProcess second(launch);
    const auto status = second.waitForExit();
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 3);
    EXPECT_NE(second.log().find("already in use"), std::string::npos) << second.log();
    EXPECT_EQ(first.get("/status").status, 200);
}

TEST(EngineLaunch, StaleSocketFilesFromACrashedEngineAreReplaced) {
    EngineLaunch launch;
    EngineProcess probe(launch); // learn the paths, then simulate a crash that leaves its sockets
    const int port = probe.port();
    ::kill(probe.pid(), SIGKILL);
    probe.waitForExit();
    ASSERT_TRUE(fs::exists(probe.hidSocketPath()));
    EngineLaunch again;
    again.port = port;
    again.environment = {{"VEDEVAVE_SIM_SOCKET_DIR", probe.socketDir()}};
    EngineProcess restarted(again);
    EXPECT_EQ(restarted.get("/status").status, 200) << restarted.log();
    UnixClient hid(probe.hidSocketPath());
    EXPECT_TRUE(hid.isConnected());
}

TEST(EngineLaunch, ReportsTheSettingsItWasLaunchedWith) {
    EngineLaunch launch;
    launch.environment = {{"VEDEVAVE_KB_PHONE", "fr"},
                          {"VEDEVAVE_LANDSCAPE", "left"},
                          {"VEDEVAVE_NATIVE", "1"},
                          {"VEDEVAVE_VIDEO_TRANSPORT", "unix"},
                          {"VEDEVAVE_PUSH", "rgba"}};
    EngineProcess engine(launch);
    const auto state = engine.debugState();
    EXPECT_EQ(state["config"]["keyboardPhone"], "fr");
    EXPECT_EQ(state["config"]["landscape"], "left");
    EXPECT_EQ(state["config"]["native"], "1");
    EXPECT_EQ(state["config"]["push"], "rgba");
    EXPECT_EQ(state["orientation"], "portrait");
    EXPECT_EQ(state["focusedText"], "");
    EXPECT_EQ(state["size"]["width"], 390);
    EXPECT_EQ(state["paths"]["hidSocket"], engine.hidSocketPath());
}
