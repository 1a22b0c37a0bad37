// The KWVS/3 video socket against the real engine, with an independent client:
// hello, bind with a descriptor or a path, frame notices, acknowledgements, slot reuse only after
// acknowledgement, reconnects, and a picture that is the home screen.
#include "EngineTestSupport.h"

#include <gtest/gtest.h>
#include <set>
#include <thread>

using namespace EngineTest;

namespace {

// Hello, then the bind; the client maps the ring.
void handshake(KwvsClient& client, BindMessage& bind) {
    ASSERT_TRUE(client.socket().isConnected());
    ASSERT_TRUE(client.sendHello());
    FrameMessage frame;
    const auto kind = client.readMessage(bind, frame);
    ASSERT_TRUE(kind.has_value());
    ASSERT_EQ(*kind, 0x11);
    ASSERT_TRUE(client.mapRing(bind));
}

FrameMessage nextFrame(KwvsClient& client) {
    BindMessage bind;
    FrameMessage frame;
    const auto kind = client.readMessage(bind, frame);
    EXPECT_TRUE(kind.has_value());
    EXPECT_EQ(kind.value_or(0), 0x20);
    return frame;
}

} // namespace

TEST(VideoSocket, BindsWithADescriptorAndSendsFramesOfTheHomeScreen) {
    EngineProcess engine;
    KwvsClient client(engine.videoSocketPath());
    BindMessage bind;
    handshake(client, bind);
    EXPECT_EQ(bind.magic, "KWV3");
    EXPECT_GE(bind.descriptor, 0);
    EXPECT_TRUE(bind.path.empty());
    EXPECT_EQ(bind.width, 390);
    EXPECT_EQ(bind.height, 844);
    EXPECT_EQ(bind.bytesPerRow, 390u * 4);
    EXPECT_GE(bind.slotBytes, bind.bytesPerRow * bind.height);
    EXPECT_GE(bind.slots, 2);
    EXPECT_GT(bind.headerBytes, 0u);

    const uint64_t before = monotonicNowNs();
    const FrameMessage frame = nextFrame(client);
    const uint64_t after = monotonicNowNs();
    EXPECT_LT(frame.slot, bind.slots);
    // Stamped with the monotonic raw clock, the clock the application reads.
    EXPECT_GT(frame.producedNs, before - 2'000'000'000ull);
    EXPECT_LE(frame.producedNs, after);

    // The picture: opaque, the wallpaper's dark blue at the top left, Notes' yellow icon in the
    // grid's first cell (78 points down, 24 in), white labels nowhere near the dock.
    const uint32_t topLeft = client.pixelBGRA(frame.slot, 5, 60);
    EXPECT_EQ(topLeft & 0xff, 0xffu);                         // alpha
    EXPECT_GT((topLeft >> 24) & 0xff, (topLeft >> 8) & 0xff); // blue above red
    const uint32_t notes = client.pixelBGRA(frame.slot, 24 + 12, 78 + 8);
    EXPECT_GT((notes >> 8) & 0xff, 200u);  // red
    EXPECT_GT((notes >> 16) & 0xff, 180u); // green
    EXPECT_LT((notes >> 24) & 0xff, 150u); // blue
    EXPECT_TRUE(client.sendAck(frame.seq, frame.producedNs));

    const auto state = engine.waitForState(
        [](const nlohmann::json& s) { return s["channels"]["video"]["framesAcknowledged"] >= 1; });
    EXPECT_EQ(state["channels"]["video"]["binds"], 1);
    EXPECT_GE(state["channels"]["video"]["framesSent"], 1);
}

TEST(VideoSocket, PathModeNamesARingFileTheClientOpens) {
    EngineLaunch launch;
    launch.environment = {{"VEDEVAVE_SIM_RING", "path"}};
    EngineProcess engine(launch);
    KwvsClient client(engine.videoSocketPath());
    BindMessage bind;
    handshake(client, bind);
    EXPECT_LT(bind.descriptor, 0);
    EXPECT_FALSE(bind.path.empty());
    EXPECT_EQ(bind.path.rfind(engine.socketDir(), 0), 0u) << bind.path;
    const FrameMessage frame = nextFrame(client);
    EXPECT_EQ(client.pixelBGRA(frame.slot, 5, 60) & 0xff, 0xffu);
}

TEST(VideoSocket, FramesKeepComingWhileTheClientAcknowledges) {
    EngineLaunch launch;
    launch.environment = {{"VEDEVAVE_CAPTURE_FPS", "100"}};
    EngineProcess engine(launch);
    KwvsClient client(engine.videoSocketPath());
    BindMessage bind;
    handshake(client, bind);
    uint32_t lastSeq = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 30; ++i) {
        const FrameMessage frame = nextFrame(client);
        EXPECT_GT(frame.seq, lastSeq);
        lastSeq = frame.seq;
        ASSERT_TRUE(client.sendAck(frame.seq, frame.producedNs));
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 2.0); // 30 frames at 100 fps: a static screen is repeated at the frame rate
    const auto state = engine.waitForState(
        [](const nlohmann::json& s) { return s["channels"]["video"]["framesAcknowledged"] >= 30; });
    EXPECT_EQ(state["channels"]["video"]["framesSkipped"], 0);
    EXPECT_EQ(state["channels"]["video"]["unknownAcks"], 0);
}

TEST(VideoSocket, WithoutAcknowledgementsNoSlotIsReusedAndFramesAreSkipped) {
    EngineLaunch launch;
    launch.environment = {{"VEDEVAVE_SIM_RING_SLOTS", "3"}, {"VEDEVAVE_CAPTURE_FPS", "100"}};
    EngineProcess engine(launch);
    KwvsClient client(engine.videoSocketPath());
    BindMessage bind;
    handshake(client, bind);
    ASSERT_EQ(bind.slots, 3);
    std::vector<FrameMessage> frames;
    for (int i = 0; i < 3; ++i) {
        frames.push_back(nextFrame(client));
    }
    std::set<uint16_t> slots;
    for (const auto& f : frames) {
        slots.insert(f.slot);
    }
    EXPECT_EQ(slots.size(), 3u); // three notices, three different slots
    // Every slot waits for an acknowledgement: no fourth notice arrives.
    BindMessage ignored;
    FrameMessage fourth;
    EXPECT_FALSE(client.readMessage(ignored, fourth, std::chrono::milliseconds(300)).has_value());
    const auto stalled = engine.waitForState(
        [](const nlohmann::json& s) { return s["channels"]["video"]["framesSkipped"] >= 5; });
    EXPECT_GE(stalled["channels"]["video"]["framesSkipped"], 5);
    EXPECT_EQ(stalled["channels"]["video"]["framesSent"], 3);

    // Acknowledging the second notice frees exactly its slot for the next notice.
    ASSERT_TRUE(client.sendAck(frames[1].seq, frames[1].producedNs));
    const FrameMessage next = nextFrame(client);
    EXPECT_EQ(next.slot, frames[1].slot);
    EXPECT_GT(next.seq, frames[2].seq);
    // An acknowledgement for a notice that never was is counted, not trusted.
    ASSERT_TRUE(client.sendAck(999999, 0));
    EXPECT_EQ(engine.waitForState([](const nlohmann::json& s) {
        return s["channels"]["video"]["unknownAcks"] == 1;
    })["channels"]["video"]["unknownAcks"],
              1);
}

TEST(VideoSocket, AWrongMagicOrVersionClosesTheConnection) {
    EngineProcess engine;
    {
        UnixClient client(engine.videoSocketPath());
        ASSERT_TRUE(client.send(std::string{'\x01', 'K', 'W', 'V', '2', '\x03', 0, 0, 0})); // magic "KWV2"
        EXPECT_TRUE(client.waitForClose());
    }
    {
        UnixClient client(engine.videoSocketPath());
        ASSERT_TRUE(client.send(std::string{'\x01', 'K', 'W', 'V', '3', '\x04', 0, 0, 0})); // version 4
        EXPECT_TRUE(client.waitForClose());
    }
    {
        UnixClient client(engine.videoSocketPath());
        ASSERT_TRUE(
            client.send(std::string{'\x30', 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})); // an ack before hello
        EXPECT_TRUE(client.waitForClose());
    }
    const auto state = engine.waitForState(
        [](const nlohmann::json& s) { return s["channels"]["video"]["protocolErrors"] == 3; });
    EXPECT_EQ(state["channels"]["video"]["protocolErrors"], 3);
    EXPECT_EQ(state["channels"]["video"]["binds"], 0);
}

TEST(VideoSocket, AReconnectGetsAFreshBindAndNewPicturesFollowTheScreen) {
    EngineProcess engine;
    {
        KwvsClient first(engine.videoSocketPath());
        BindMessage bind;
        handshake(first, bind);
        nextFrame(first);
    }
    KwvsClient second(engine.videoSocketPath());
    BindMessage bind;
    handshake(second, bind);
    EXPECT_GE(bind.descriptor, 0);
    FrameMessage frame = nextFrame(second);
    ASSERT_TRUE(second.sendAck(frame.seq, frame.producedNs));
    const uint32_t homePixel = second.pixelBGRA(frame.slot, 195, 600);

    ASSERT_EQ(engine.post("/open-app", R"({"name":"Maps"})").status, 200);
    // Once the transition settles the picture is the app screen: light grey (F2F2F7) where the
    // wallpaper was.
    bool sawApp = false;
    for (int i = 0; i < 60 && !sawApp; ++i) {
        frame = nextFrame(second);
        sawApp = second.pixelBGRA(frame.slot, 195, 600) == 0xF7F2F2FFu;
        second.sendAck(frame.seq, frame.producedNs);
    }
    EXPECT_TRUE(sawApp);
    EXPECT_NE(homePixel, 0xF7F2F2FFu);
    const auto state = engine.debugState();
    EXPECT_EQ(state["channels"]["video"]["binds"], 2);
    EXPECT_EQ(state["channels"]["video"]["clientsTotal"], 2);
}

TEST(VideoSocket, TwoClientsAtOnceEachGetTheirOwnRing) {
    EngineProcess engine;
    KwvsClient a(engine.videoSocketPath());
    KwvsClient b(engine.videoSocketPath());
    BindMessage bindA, bindB;
    handshake(a, bindA);
    handshake(b, bindB);
    const FrameMessage fa = nextFrame(a);
    const FrameMessage fb = nextFrame(b);
    EXPECT_EQ(a.pixelBGRA(fa.slot, 5, 60), b.pixelBGRA(fb.slot, 5, 60));
}

TEST(VideoSocket, TheFrameRateFollowsVEDEVAVE_CAPTURE_FPS) {
    EngineLaunch launch;
    launch.environment = {{"VEDEVAVE_CAPTURE_FPS", "20"}};
    EngineProcess engine(launch);
    KwvsClient client(engine.videoSocketPath());
    BindMessage bind;
    handshake(client, bind);
    nextFrame(client);
    int frames = 0;
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(1000)) {
        const FrameMessage frame = nextFrame(client);
        client.sendAck(frame.seq, frame.producedNs);
        ++frames;
    }
    // About 20; loose bounds, since a loaded machine delays ticks (the clock skips, never bursts).
    EXPECT_GE(frames, 12);
    EXPECT_LE(frames, 24);
    EXPECT_EQ(engine.debugState()["config"]["fps"], 20);
}

TEST(VideoSocket, StallFaultSilencesTheVideoSocket) {
    EngineProcess engine;
    KwvsClient client(engine.videoSocketPath());
    BindMessage bind;
    handshake(client, bind);
    const FrameMessage first = nextFrame(client);
    client.sendAck(first.seq, first.producedNs);
    ASSERT_EQ(engine.post("/debug/fault", R"({"videoStallMs":600})").status, 200);
    // Drain what was already on the way, then nothing for a while, then frames again.
    BindMessage ignored;
    FrameMessage frame;
    const auto stallStart = std::chrono::steady_clock::now();
    while (client.readMessage(ignored, frame, std::chrono::milliseconds(150))) {
        client.sendAck(frame.seq, frame.producedNs);
    }
    ASSERT_TRUE(client.readMessage(ignored, frame, std::chrono::milliseconds(2000)).has_value());
    EXPECT_GE(std::chrono::steady_clock::now() - stallStart, std::chrono::milliseconds(450));
}
