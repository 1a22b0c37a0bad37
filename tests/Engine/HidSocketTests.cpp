// The HID socket against the real engine: every message type, split and
// coalesced writes, a dropped connection on an unknown type, and a tap that opens an app.
#include "EngineTestSupport.h"

#include <gtest/gtest.h>
#include <thread>

using namespace EngineTest;

namespace {

std::string touchBytes(bool contact, uint16_t x, uint16_t y) {
    return {
        '\x01',                             // type: touch
        static_cast<char>(contact ? 1 : 0), // contact
        static_cast<char>(x & 0xff),
        static_cast<char>(x >> 8), // x, little-endian
        static_cast<char>(y & 0xff),
        static_cast<char>(y >> 8), // y, little-endian
    };
}

std::string buttonBytes(const std::string& name, bool pressed) {
    std::string out = {'\x02', static_cast<char>(name.size())}; // type: button; name length
    out += name;                                                // name
    out.push_back(pressed ? 1 : 0);                             // pressed
    return out;
}

// Where the home screen draws an app's icon, in touch space, for the 390x844 test phone. The
// grid starts 78 points down, four columns 24 points in from each side, icons of 62 points.
std::pair<uint16_t, uint16_t> gridIconCenter(int column, int row) {
    const double pitch = (390.0 - 48.0 - 62.0) / 3.0;
    const double x = 24 + column * pitch + 31;
    const double y = 78 + row * 100 + 31;
    return {touchCoordinate(x / 390.0), touchCoordinate(y / 844.0)};
}

} // namespace

TEST(HidSocket, AppliesEveryMessageTypeInOrder) {
    EngineProcess engine;
    UnixClient hid(engine.hidSocketPath());
    ASSERT_TRUE(hid.isConnected());
    std::string stream = touchBytes(true, 4464, 65535);
    stream += buttonBytes("volume-down", true);
    stream += {'\x03', '\x01'}; // instant, hard = 1
    stream += {'\x04', '\x01'}; // music safe, on = 1
    stream +=
        {'\x05', '\x01', '\x2c', '\x00', '\x02', '\x01', ' '}; // key down, usage 0x2c, control, 1 byte " "
    stream += {'\x06'};                                        // keyboard reset
    stream += touchBytes(false, 4464, 65535);
    ASSERT_TRUE(hid.send(stream));

    const auto state = engine.waitForState(
        [](const nlohmann::json& s) { return s["touchCount"] == 2 && s["keyboardResets"] == 1; });
    ASSERT_EQ(state["touches"].size(), 2u);
    EXPECT_EQ(state["touches"][0],
              (nlohmann::json{{"i", 0}, {"contact", true}, {"x", 4464}, {"y", 65535}, {"via", "hid"}}));
    EXPECT_EQ(state["touches"][1]["contact"], false);
    EXPECT_EQ(state["buttons"][0]["name"], "volume-down");
    EXPECT_EQ(state["buttons"][0]["pressed"], true);
    EXPECT_EQ(state["instant"], (nlohmann::json{{"count", 1}, {"hard", true}}));
    EXPECT_EQ(state["musicSafe"], (nlohmann::json{{"count", 1}, {"on", true}}));
    EXPECT_EQ(state["keys"][0]["usage"], 0x2c);
    EXPECT_EQ(state["keys"][0]["mods"], 2);
    EXPECT_EQ(state["keys"][0]["char"], " ");
    EXPECT_EQ(state["keys"][0]["down"], true);
    EXPECT_EQ(state["hid"]["messages"], 7);
}

TEST(HidSocket, MessagesSplitAcrossWritesArriveWhole) {
    EngineProcess engine;
    UnixClient hid(engine.hidSocketPath());
    const std::string stream =
        buttonBytes("home", true) + touchBytes(true, 100, 200) + touchBytes(false, 300, 400);
    for (char byte : stream) {
        ASSERT_TRUE(hid.send(std::string(1, byte)));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const auto state = engine.waitForState([](const nlohmann::json& s) { return s["touchCount"] == 2; });
    EXPECT_EQ(state["touches"][0]["x"], 100);
    EXPECT_EQ(state["touches"][0]["y"], 200);
    EXPECT_EQ(state["touches"][1]["x"], 300);
    EXPECT_EQ(state["buttons"][0]["name"], "home");
}

TEST(HidSocket, AnUnknownTypeDropsTheConnectionButNotTheEngine) {
    EngineProcess engine;
    UnixClient hid(engine.hidSocketPath());
    ASSERT_TRUE(hid.send(touchBytes(true, 1, 1) + std::string{'\x09', '\x00'})); // 0x09: no such type
    EXPECT_TRUE(hid.waitForClose());
    const auto state =
        engine.waitForState([](const nlohmann::json& s) { return s["hid"]["protocolErrors"] == 1; });
    EXPECT_EQ(state["touchCount"], 1);
    // A new connection works, like the application's reconnect on the next message.
    UnixClient again(engine.hidSocketPath());
    ASSERT_TRUE(again.send(touchBytes(false, 1, 1)));
    EXPECT_EQ(engine.waitForState([](const nlohmann::json& s) { return s["touchCount"] == 2; })["touchCount"],
              2);
}

TEST(HidSocket, ATapOnAnIconOpensTheAppAndHomeGoesBack) {
    EngineProcess engine;
    UnixClient hid(engine.hidSocketPath());
    const auto [x, y] = gridIconCenter(0, 0); // Notes
    // The application's tap: contact, 45 ms, contact, hold, release.
    ASSERT_TRUE(hid.send(touchBytes(true, x, y)));
    std::this_thread::sleep_for(std::chrono::milliseconds(45));
    ASSERT_TRUE(hid.send(touchBytes(true, x, y)));
    const auto pressed = engine.waitForState([](const nlohmann::json& s) { return s["touchCount"] == 2; });
    EXPECT_EQ(pressed["pressedIcon"], "Notes");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(hid.send(touchBytes(false, x, y)));
    const auto opened = engine.waitForState([](const nlohmann::json& s) { return s["screen"] == "app"; });
    EXPECT_EQ(opened["app"]["name"], "Notes");
    EXPECT_EQ(opened["foreground"]["bundleId"], "com.apple.mobilenotes");
    EXPECT_EQ(opened["lastGesture"]["kind"], "tap");
    EXPECT_EQ(engine.get("/status").json()["foreground"]["name"], "Notes");

    ASSERT_TRUE(hid.send(buttonBytes("home", true) + buttonBytes("home", false)));
    const auto home = engine.waitForState([](const nlohmann::json& s) { return s["screen"] == "home"; });
    EXPECT_EQ(home["foreground"]["bundleId"], "com.apple.springboard");
}

TEST(HidSocket, TheAppSwipeHomeGestureGoesHome) {
    EngineProcess engine;
    ASSERT_EQ(engine.post("/open-app", R"({"name":"Safari"})").status, 200);
    UnixClient hid(engine.hidSocketPath());
    // ControlClient.swipeUp's path, sent back to back.
    for (uint16_t y : {64000, 52000, 40000, 28000, 16000}) {
        ASSERT_TRUE(hid.send(touchBytes(true, 32768, y)));
    }
    ASSERT_TRUE(hid.send(touchBytes(false, 32768, 8000)));
    EXPECT_EQ(engine.waitForState([](const nlohmann::json& s) { return s["screen"] == "home"; })["screen"],
              "home");
}
