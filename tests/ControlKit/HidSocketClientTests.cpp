#include "ControlKit/HidMessages.h"
#include "ControlKit/HidSocketClient.h"
#include "Runtime/Clock.h"
#include "Support/UnixStreamRecorder.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using ControlKit::HidSocketClient;
namespace Hid = ControlKit::HidMessages;

namespace {

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) {
        out.push_back(static_cast<char>(v));
    }
    return out;
}

TEST(HidMessages, WireBytes) {
    EXPECT_EQ(Hid::touch(true, 65536 + 4464, 0x1234), bytes({0x01,        // touch
                                                               0x01,        // contact
                                                               0x70, 0x11,  // x 4464, low 16 bits
                                                               0x34, 0x12})); // y
    EXPECT_EQ(Hid::touch(false, -1, 65535), bytes({0x01, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(Hid::button("home", true), bytes({0x02, 4, 'h', 'o', 'm', 'e', 0x01}));
    EXPECT_EQ(Hid::button("lock", false), bytes({0x02, 4, 'l', 'o', 'c', 'k', 0x00}));
    EXPECT_EQ(Hid::instant(true), bytes({0x03, 0x01}));
    EXPECT_EQ(Hid::musicSafe(false), bytes({0x04, 0x00}));
    EXPECT_EQ(Hid::key(true, 0x0104, 0x09, "\xC3\xA9"), bytes({0x05,       // key
                                                               0x01,       // down
                                                               0x04, 0x01, // usage 0x0104
                                                               0x09,       // shift + command
                                                               2, 0xC3, 0xA9}));
    const std::string longCharacter(300, 'x');
    const std::string longKey = Hid::key(false, 4, 0, longCharacter);
    ASSERT_EQ(longKey.size(), 6u + 255u);
    EXPECT_EQ(static_cast<uint8_t>(longKey[5]), 255);
    EXPECT_EQ(Hid::keyboardReset(), bytes({0x06}));
}

TEST(HidSocketClient, TapHoldsAtLeastOneHundredMilliseconds) {
    TestSupport::UnixStreamRecorder engine(TestSupport::uniqueSocketPath("tap"));
    HidSocketClient client(engine.path());
    EXPECT_TRUE(client.isAvailable());
    client.tap(100, 200, 20'000);
    ASSERT_TRUE(engine.waitForBytes(18, 2s));
    EXPECT_EQ(engine.bytes(), Hid::touch(true, 100, 200) + Hid::touch(true, 100, 200) + Hid::touch(false, 100, 200));
    auto chunks = engine.chunks();
    ASSERT_EQ(chunks.size(), 3u); // each message is one write
    EXPECT_GE(chunks[1].at - chunks[0].at, 40ms);
    EXPECT_GE(chunks[2].at - chunks[1].at, 95ms);
}

TEST(HidSocketClient, ReleaseWaitsOnlyForTheRestOfTheMinimumHold) {
    TestSupport::UnixStreamRecorder engine(TestSupport::uniqueSocketPath("release"));
    HidSocketClient client(engine.path());
    const uint64_t longAgo = Runtime::monotonicNow() - 200'000'000; // pressed 200 ms ago
    auto started = std::chrono::steady_clock::now();
    client.release(1, 2, 140'000, longAgo);
    ASSERT_TRUE(engine.waitForBytes(6, 2s));
    EXPECT_LT(engine.chunks()[0].at - started, 60ms);

    started = std::chrono::steady_clock::now();
    client.release(1, 2, 140'000, Runtime::monotonicNow() - 40'000'000); // pressed 40 ms ago
    ASSERT_TRUE(engine.waitForBytes(12, 2s));
    EXPECT_GE(engine.chunks()[1].at - started, 90ms);
}

TEST(HidSocketClient, DropsWhileTheEngineIsGoneAndReconnectsAfterwards) {
    TestSupport::UnixStreamRecorder engine(TestSupport::uniqueSocketPath("reconnect"));
    HidSocketClient client(engine.path());
    client.keyboardReset();
    ASSERT_TRUE(engine.waitForBytes(1, 2s));
    engine.stop();
    EXPECT_FALSE(client.isAvailable());
    client.button("home", "press"); // fails on the dead connection, dropped
    client.button("home", "press"); // fails to connect, dropped
    std::this_thread::sleep_for(50ms);
    engine.start();
    client.instant(true);
    ASSERT_TRUE(engine.waitForBytes(3, 2s));
    EXPECT_EQ(engine.bytes(), Hid::keyboardReset() + Hid::instant(true));
    EXPECT_EQ(engine.acceptedCount(), 2);
}

TEST(HidSocketClient, ManyTouchesArriveInOrder) {
    TestSupport::UnixStreamRecorder engine(TestSupport::uniqueSocketPath("order"));
    HidSocketClient client(engine.path());
    std::string expected;
    for (int i = 0; i < 2000; ++i) {
        client.touch(i == 1999 ? "release" : "contact", i, 2 * i);
        expected += Hid::touch(i != 1999, i, 2 * i);
    }
    ASSERT_TRUE(engine.waitForBytes(expected.size(), 5s));
    EXPECT_EQ(engine.bytes(), expected);
}

} // namespace
