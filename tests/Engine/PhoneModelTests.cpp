// Pure tests of the simulated phone's screen model and renderer: taps on icons open apps, the
// home button and the home gesture go back, /open-app name matching, the foreground report.
#include "Engine/EngineClock.h"
#include "Engine/FrameProducer.h"
#include "Engine/PhoneModel.h"

#include <gtest/gtest.h>

using namespace Engine;

namespace {

constexpr int width = 390;
constexpr int height = 844;

uint16_t toTouch(double pixel, int extent) {
    return static_cast<uint16_t>(pixel / extent * 65535.0);
}

// A HID-style tap: contact, contact 45 ms later, release after the hold.
void tap(PhoneModel& model, double px, double py, uint64_t& now) {
    const uint16_t x = toTouch(px, width);
    const uint16_t y = toTouch(py, height);
    model.touch(true, x, y, now);
    now += 45'000'000;
    model.touch(true, x, y, now);
    now += 160'000'000;
    model.touch(false, x, y, now);
    now += 10'000'000;
}

Rect iconOf(const PhoneModel& model, const char* bundleId) {
    const auto index = model.catalog().indexOf(bundleId);
    return model.layout().slotForApp(*index)->icon;
}

} // namespace

TEST(PhoneModel, StartsOnTheHomeScreen) {
    PhoneModel model(width, height, AppCatalog::standard());
    EXPECT_EQ(model.screen(), ScreenKind::home);
    const auto report = model.foregroundReport(unixSeconds());
    EXPECT_EQ(report["bundleId"], "com.apple.springboard");
    EXPECT_EQ(report["available"], true);
    EXPECT_EQ(report["fresh"], true);
    EXPECT_EQ(report["monitor"], "connected");
    EXPECT_TRUE(report["timestamp"].is_number());
    EXPECT_TRUE(report["ageMs"].is_number());
}

TEST(PhoneModel, TapOnAnIconOpensItsAppAndHomeGoesBack) {
    PhoneModel model(width, height, AppCatalog::standard());
    uint64_t now = 1'000'000'000;
    const Rect notes = iconOf(model, "com.apple.mobilenotes");
    const uint64_t before = model.version();
    tap(model, notes.centerX(), notes.centerY(), now);
    ASSERT_EQ(model.screen(), ScreenKind::app);
    EXPECT_EQ(model.currentApp()->name, "Notes");
    EXPECT_GT(model.version(), before);
    EXPECT_EQ(model.foregroundReport(unixSeconds())["bundleId"], "com.apple.mobilenotes");
    EXPECT_NE(model.pidOf("com.apple.mobilenotes"), 0);

    model.button("home", true);
    EXPECT_EQ(model.screen(), ScreenKind::home);
    EXPECT_EQ(model.currentApp(), nullptr);
}

TEST(PhoneModel, DockIconsOpenToo) {
    PhoneModel model(width, height, AppCatalog::standard());
    uint64_t now = 0;
    const Rect safari = iconOf(model, "com.apple.mobilesafari");
    tap(model, safari.centerX(), safari.centerY(), now);
    ASSERT_NE(model.currentApp(), nullptr);
    EXPECT_EQ(model.currentApp()->bundleId, "com.apple.mobilesafari");
}

TEST(PhoneModel, TapOnTheWallpaperAndADragOpenNothing) {
    PhoneModel model(width, height, AppCatalog::standard());
    uint64_t now = 0;
    tap(model, width / 2.0, height * 0.6, now);
    EXPECT_EQ(model.screen(), ScreenKind::home);
    const Rect notes = iconOf(model, "com.apple.mobilenotes");
    model.touch(true, toTouch(notes.centerX(), width), toTouch(notes.centerY(), height), now);
    EXPECT_TRUE(model.pressedApp().has_value());
    model.touch(true, toTouch(notes.centerX() + 100, width), toTouch(notes.centerY(), height),
                now + 50'000'000);
    EXPECT_FALSE(model.pressedApp().has_value()); // moved off: no longer a tap
    model.touch(false, toTouch(notes.centerX(), width), toTouch(notes.centerY(), height), now + 100'000'000);
    EXPECT_EQ(model.screen(), ScreenKind::home);
}

TEST(PhoneModel, PressingAnIconHighlightsIt) {
    PhoneModel model(width, height, AppCatalog::standard());
    const Rect settings = iconOf(model, "com.apple.Preferences");
    const uint64_t before = model.version();
    model.touch(true, toTouch(settings.centerX(), width), toTouch(settings.centerY(), height), 0);
    EXPECT_EQ(model.catalog().apps()[static_cast<size_t>(*model.pressedApp())].name, "Settings");
    EXPECT_GT(model.version(), before);
}

TEST(PhoneModel, SwipeUpFromTheBottomEdgeGoesHome) {
    PhoneModel model(width, height, AppCatalog::standard());
    ASSERT_TRUE(model.openApp("Maps"));
    const uint16_t x = 32768;
    model.touch(true, x, 64000, 0);
    model.touch(true, x, 40000, 20'000'000);
    model.touch(false, x, 8000, 100'000'000);
    EXPECT_EQ(model.screen(), ScreenKind::home);
}

TEST(PhoneModel, OpenAppMatchesNamesIgnoringCaseAndSpaces) {
    PhoneModel model(width, height, AppCatalog::standard());
    EXPECT_EQ(model.openApp("notes")->bundleId, "com.apple.mobilenotes");
    EXPECT_EQ(model.openApp("  MESSAGES ")->bundleId, "com.apple.MobileSMS");
    EXPECT_EQ(model.openApp("Calcu lator")->bundleId, "com.apple.calculator");
    EXPECT_EQ(model.openApp("com.apple.Preferences")->name, "Settings");
    EXPECT_EQ(model.openApp("safari")->bundleId, "com.apple.mobilesafari");
    EXPECT_EQ(model.openApp("photos")->bundleId, "com.apple.mobileslideshow");
    EXPECT_EQ(model.openApp("Flappy Bird"), nullptr);
    EXPECT_EQ(model.currentApp()->name, "Photos"); // an unknown name changes nothing
}

TEST(PhoneModel, RelaunchingKeepsThePid) {
    PhoneModel model(width, height, AppCatalog::standard());
    model.openApp("Notes");
    const int pid = model.pidOf("com.apple.mobilenotes");
    model.goHome();
    model.openApp("Notes");
    EXPECT_EQ(model.pidOf("com.apple.mobilenotes"), pid);
    model.openApp("Messages");
    EXPECT_NE(model.pidOf("com.apple.MobileSMS"), pid);
}

TEST(PhoneRenderer, RendersOnlyWhenTheModelChanged) {
    PhoneModel model(width, height, AppCatalog::standard());
    FrameProducer producer(model);
    const FrameView first = producer.current();
    EXPECT_EQ(first.width, width);
    EXPECT_EQ(first.height, height);
    EXPECT_EQ(first.bytesPerRow, static_cast<size_t>(width) * 4);
    EXPECT_EQ(producer.renderCount(), 1u);
    producer.current();
    EXPECT_EQ(producer.renderCount(), 1u);
    model.openApp("Notes");
    const FrameView second = producer.current();
    EXPECT_EQ(producer.renderCount(), 2u);
    EXPECT_EQ(second.version, model.version());
}

TEST(PhoneRenderer, DrawsTheIconsWhereTheLayoutPutsThem) {
    PhoneModel model(width, height, AppCatalog::standard());
    FrameProducer producer(model);
    const FrameView frame = producer.current();
    auto pixel = [&](double x, double y) {
        const uint8_t* p =
            frame.pixels + static_cast<size_t>(y) * frame.bytesPerRow + static_cast<size_t>(x) * 4;
        return std::array<int, 4>{p[0], p[1], p[2], p[3]}; // B, G, R, A
    };
    // Notes' icon is yellow near its top edge: red and green high, blue low, opaque.
    const Rect notes = iconOf(model, "com.apple.mobilenotes");
    const auto yellow = pixel(notes.x + notes.width * 0.2, notes.y + notes.height * 0.12);
    EXPECT_GT(yellow[2], 200);
    EXPECT_GT(yellow[1], 180);
    EXPECT_LT(yellow[0], 150);
    EXPECT_EQ(yellow[3], 255);
    // A generic app screen is light grey with a dark title, once its transition has settled.
    model.openApp("Maps");
    model.advance(PhoneModel::transitionNs);
    const FrameView app = producer.current();
    const uint8_t* p = app.pixels + static_cast<size_t>(height / 2 + 250) * app.bytesPerRow + 10 * 4;
    EXPECT_EQ(p[0], 0xF7);
    EXPECT_EQ(p[1], 0xF2);
    EXPECT_EQ(p[2], 0xF2);
}
