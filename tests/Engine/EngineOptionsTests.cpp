// Pure tests of the launch contract's parsing.
#include "Engine/EngineOptions.h"

#include <gtest/gtest.h>
#include <map>

using namespace Engine;

namespace {

EngineOptionsResult parse(std::vector<std::string> args, std::map<std::string, std::string> env = {}) {
    return parseEngineOptions(args, [env](const std::string& name) -> std::optional<std::string> {
        const auto it = env.find(name);
        return it == env.end() ? std::nullopt : std::optional<std::string>(it->second);
    });
}

const std::vector<std::string> good = {"--udid", "SIM-1", "--transport", "usb", "--http-port", "18091"};

} // namespace

TEST(EngineOptions, ParsesTheLaunchArguments) {
    const auto r = parse(good);
    ASSERT_TRUE(r.options) << r.error;
    EXPECT_EQ(r.options->udid, "SIM-1");
    EXPECT_EQ(r.options->transport, "usb");
    EXPECT_EQ(r.options->httpPort, 18091);
    EXPECT_EQ(r.options->rsdPath, "/tmp/vedevave_rsd.json");
    EXPECT_EQ(r.options->captureDir, "/tmp/vedevave-capture");
    EXPECT_EQ(r.options->fps, 60);
    EXPECT_EQ(r.options->width, 1170);
    EXPECT_EQ(r.options->height, 2532);
    EXPECT_EQ(r.options->hidSocketPath(), "/tmp/vedevave-18091-hid.sock");
    EXPECT_EQ(r.options->videoSocketPath(), "/tmp/vedevave-18091-video.sock");
    EXPECT_EQ(r.options->captureSocketPath(), "/tmp/vedevave-capture/SIM-1.sock");
}

TEST(EngineOptions, AcceptsEqualsFormAndWifi) {
    const auto r = parse({"--udid=abc/def", "--transport=wifi", "--http-port=1"});
    ASSERT_TRUE(r.options) << r.error;
    EXPECT_EQ(r.options->transport, "wifi");
    EXPECT_EQ(r.options->captureSidecarPath(), "/tmp/vedevave-capture/abc_def.json"); // no '/' in file names
}

TEST(EngineOptions, RejectsBadArguments) {
    EXPECT_NE(parse({"--udid", "A", "--http-port", "0"}).error.find("--http-port"), std::string::npos);
    EXPECT_NE(parse({"--udid", "A", "--http-port", "65536"}).error.find("--http-port"), std::string::npos);
    EXPECT_NE(parse({"--udid", "A", "--http-port", "80x"}).error.find("--http-port"), std::string::npos);
    EXPECT_NE(parse({"--udid", "A", "--transport", "bt", "--http-port", "9"}).error.find("--transport"),
              std::string::npos);
    EXPECT_NE(parse({"--http-port", "9"}).error.find("--udid"), std::string::npos);
    EXPECT_NE(parse({"--udid", "A"}).error.find("--http-port"), std::string::npos);
    EXPECT_NE(parse({"--udid"}).error.find("needs a value"), std::string::npos);
    EXPECT_NE(parse({"--udid", "A", "--http-port", "9", "--verbose"}).error.find("unknown"),
              std::string::npos);
    EXPECT_TRUE(parse({"--help"}).wantsHelp);
}

TEST(EngineOptions, FrameRateFromTheEnvironmentIsCappedAt120) {
    EXPECT_EQ(parse(good, {{"VEDEVAVE_CAPTURE_FPS", " 30 "}}).options->fps, 30);
    EXPECT_EQ(parse(good, {{"VEDEVAVE_CAPTURE_FPS", "500"}}).options->fps, 120);
    EXPECT_EQ(parse(good, {{"VEDEVAVE_CAPTURE_FPS", "0"}}).options->fps, 60);
    EXPECT_EQ(parse(good, {{"VEDEVAVE_CAPTURE_FPS", "-5"}}).options->fps, 60);
    EXPECT_EQ(parse(good, {{"VEDEVAVE_CAPTURE_FPS", "abc"}}).options->fps, 60);
    EXPECT_EQ(parse(good, {{"VEDEVAVE_CAPTURE_FPS", "+24"}}).options->fps, 24);
}

TEST(EngineOptions, KeepAliveRateIsAtLeastFiveAndAtMostTheFrameRate) {
    EXPECT_EQ(parse(good).options->captureKeepAliveFps, 10);
    EXPECT_EQ(parse(good, {{"VEDEVAVE_SIM_KEEPALIVE_FPS", "1"}}).options->captureKeepAliveFps, 5);
    EXPECT_EQ(parse(good, {{"VEDEVAVE_CAPTURE_FPS", "8"}, {"VEDEVAVE_SIM_KEEPALIVE_FPS", "30"}})
                  .options->captureKeepAliveFps,
              8);
}

TEST(EngineOptions, PathsFromTheEnvironment) {
    const auto r = parse(good, {{"VEDEVAVE_RSD_PATH", "/x/rsd.json"}, {"XDG_RUNTIME_DIR", "/run/user/7"}});
    EXPECT_EQ(r.options->rsdPath, "/x/rsd.json");
    EXPECT_EQ(r.options->captureDir, "/run/user/7/vedevave-capture");
    const auto explicitDir =
        parse(good, {{"VEDEVAVE_CAPTURE_DIR", "/c"}, {"XDG_RUNTIME_DIR", "/run/user/7"}});
    EXPECT_EQ(explicitDir.options->captureDir, "/c");
}

TEST(EngineOptions, SizeRingAndFaultSwitches) {
    const auto r = parse(good, {{"VEDEVAVE_SIM_SIZE", "390X844"},
                                {"VEDEVAVE_SIM_RING", "path"},
                                {"VEDEVAVE_SIM_RING_SLOTS", "40"},
                                {"VEDEVAVE_SIM_EXIT_AFTER_MS", "250"},
                                {"VEDEVAVE_SIM_EXIT_STATUS", "7"},
                                {"VEDEVAVE_SIM_STATUS_DELAY_MS", "300"},
                                {"VEDEVAVE_SIM_NO_METADATA", "1"},
                                {"VEDEVAVE_SIM_CAPTURE_STALL_MS", "500"},
                                {"VEDEVAVE_SIM_OPEN_APP_FAIL", "503"}});
    ASSERT_TRUE(r.options) << r.error;
    EXPECT_EQ(r.options->width, 390);
    EXPECT_EQ(r.options->height, 844);
    EXPECT_EQ(r.options->ringMode, RingMode::path);
    EXPECT_EQ(r.options->ringSlots, 16);
    EXPECT_EQ(r.options->faults.exitAfterMs, 250);
    EXPECT_EQ(r.options->faults.exitStatus, 7);
    EXPECT_EQ(r.options->faults.statusDelayMs, 300);
    EXPECT_TRUE(r.options->faults.skipMetadata);
    EXPECT_EQ(r.options->faults.captureStallMs, 500);
    EXPECT_EQ(r.options->faults.openAppFailure, OpenAppFailure::unavailable503);
    EXPECT_FALSE(parse(good, {{"VEDEVAVE_SIM_SIZE", "huge"}}).options);
    EXPECT_FALSE(parse(good, {{"VEDEVAVE_SIM_OPEN_APP_FAIL", "418"}}).options);
}

TEST(EngineOptions, KeepsTheApplicationsExportedSettings) {
    const auto r =
        parse(good, {{"VEDEVAVE_KB_PHONE", "fr"}, {"VEDEVAVE_LANDSCAPE", "left"}, {"VEDEVAVE_PUSH", "bgra"}});
    EXPECT_EQ(r.options->keyboardPhone, "fr");
    EXPECT_EQ(r.options->landscape, "left");
    EXPECT_EQ(r.options->push, "bgra");
    EXPECT_EQ(r.options->rctl, "1");
}
