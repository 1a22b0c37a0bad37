// The simulated screen-capture device (ARCHITECTURE.md): its sidecar, its KWVS/3 socket, the
// keep-alive repetition of a static screen, and the stall fault.
#include "EngineTestSupport.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>

using namespace EngineTest;

namespace {

// Reads and acknowledges frames for `duration`; returns how many arrived.
int countFrames(KwvsClient& client, std::chrono::milliseconds duration) {
    int frames = 0;
    const auto deadline = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < deadline) {
        BindMessage bind;
        FrameMessage frame;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const auto kind = client.readMessage(bind, frame, std::max(left, std::chrono::milliseconds(1)));
        if (!kind) {
            break;
        }
        if (*kind == 0x20) {
            ++frames;
            client.sendAck(frame.seq, frame.producedNs);
        }
    }
    return frames;
}

// Hello, and the bind that answers it.
void handshake(KwvsClient& client, BindMessage& bind) {
    ASSERT_TRUE(client.sendHello());
    FrameMessage frame;
    ASSERT_EQ(client.readMessage(bind, frame).value_or(0), 0x11);
}

} // namespace

TEST(CaptureChannel, PublishesASocketAndASidecar) {
    EngineProcess engine;
    ASSERT_TRUE(std::filesystem::is_socket(engine.captureSocketPath()));
    std::ifstream in(engine.captureDir() + "/SIM-TEST.json");
    const auto sidecar = nlohmann::json::parse(in, nullptr, false);
    ASSERT_TRUE(sidecar.is_object());
    EXPECT_TRUE(sidecar["localizedName"].is_string());
    EXPECT_EQ(sidecar["hasVideo"], true);
    EXPECT_EQ(sidecar["hasMuxed"], true);
}

TEST(CaptureChannel, SpeaksKwvs3AndRepeatsAStaticScreenAtTheKeepAliveRate) {
    EngineProcess engine;
    KwvsClient client(engine.captureSocketPath());
    BindMessage bind;
    handshake(client, bind);
    EXPECT_GE(bind.descriptor, 0);
    ASSERT_TRUE(client.mapRing(bind));
    const int frames = countFrames(client, std::chrono::milliseconds(1000));
    // The default keep-alive is 10 a second; at least 5 must arrive for "a frame within the last second".
    EXPECT_GE(frames, 5);
    EXPECT_LE(frames, 16); // and not the full frame rate
}

TEST(CaptureChannel, FollowsTheFrameRateWhileTheScreenChanges) {
    EngineLaunch launch;
    launch.environment = {{"VEDEVAVE_CAPTURE_FPS", "50"}};
    EngineProcess engine(launch);
    KwvsClient client(engine.captureSocketPath());
    BindMessage bind;
    handshake(client, bind);
    // Pressing and releasing an icon again and again changes the picture at every touch.
    UnixClient hid(engine.hidSocketPath());
    std::atomic<bool> running = true;
    std::thread presser([&] {
        const uint16_t x = touchCoordinate(55.0 / 390), y = touchCoordinate(109.0 / 844);
        bool down = true;
        while (running) {
            // Finger down on Notes' icon (highlight), then lifted far below it: a swipe, which
            // opens nothing but clears the highlight. Each message changes the picture.
            const uint16_t ty = down ? y : static_cast<uint16_t>(y + 10000);
            hid.send({'\x01', static_cast<char>(down ? 1 : 0), static_cast<char>(x & 0xff),
                      static_cast<char>(x >> 8), static_cast<char>(ty & 0xff), static_cast<char>(ty >> 8)});
            down = !down;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    const int frames = countFrames(client, std::chrono::milliseconds(600));
    running = false;
    presser.join();
    EXPECT_GE(frames, 15); // well above the keep-alive rate of 10 a second
}

TEST(CaptureChannel, StallFaultSilencesItForAWhile) {
    EngineLaunch launch;
    launch.environment = {{"VEDEVAVE_SIM_CAPTURE_STALL_AFTER_MS", "400"},
                          {"VEDEVAVE_SIM_CAPTURE_STALL_MS", "800"}};
    EngineProcess engine(launch);
    KwvsClient client(engine.captureSocketPath());
    BindMessage bind;
    handshake(client, bind);
    const auto state =
        engine.waitForState([](const nlohmann::json& s) { return s["faults"]["captureStalled"] == true; });
    ASSERT_EQ(state["faults"]["captureStalled"], true);
    countFrames(client, std::chrono::milliseconds(100)); // drain what was sent before the stall
    EXPECT_LE(countFrames(client, std::chrono::milliseconds(300)), 1);
    // After the stall it delivers again; the video socket was never affected.
    const auto after =
        engine.waitForState([](const nlohmann::json& s) { return s["faults"]["captureStalled"] == false; });
    EXPECT_GE(countFrames(client, std::chrono::milliseconds(500)), 3);
    EXPECT_GT(engine.debugState()["channels"]["capture"]["stalledTicks"], 0);
}

TEST(CaptureChannel, StallThroughTheDebugEndpoint) {
    EngineProcess engine;
    KwvsClient client(engine.captureSocketPath());
    BindMessage bind;
    handshake(client, bind);
    EXPECT_GE(countFrames(client, std::chrono::milliseconds(300)), 2);
    ASSERT_EQ(engine.post("/debug/fault", R"({"captureStallMs":1500})").status, 200);
    countFrames(client, std::chrono::milliseconds(50));
    EXPECT_EQ(countFrames(client, std::chrono::milliseconds(500)), 0);
    ASSERT_EQ(engine.post("/debug/fault", R"({"clear":true})").status, 200);
    EXPECT_GE(countFrames(client, std::chrono::milliseconds(400)), 2);
}
