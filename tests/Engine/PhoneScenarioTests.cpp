// The virtual phone driven the way the application drives it: touches, keys and buttons over the
// HID socket, apps over HTTP, checked through /debug/state and the pixels of /debug/screenshot.png.
// Each scenario also saves the screens it passes through as PNGs under the build folder
// (build/phone-screens/), so a person can look at them.
#include "EngineTestSupport.h"

#include <cairo.h>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>

using namespace EngineTest;

namespace {

std::string touchBytes(bool contact, uint16_t x, uint16_t y) {
    return {'\x01', static_cast<char>(contact ? 1 : 0), static_cast<char>(x & 0xff), static_cast<char>(x >> 8),
            static_cast<char>(y & 0xff), static_cast<char>(y >> 8)};
}

std::string buttonBytes(const std::string& name, bool pressed) {
    std::string out = {'\x02', static_cast<char>(name.size())};
    out += name;
    out.push_back(pressed ? 1 : 0);
    return out;
}

std::string keyBytes(bool down, uint16_t usage, uint8_t mods) {
    return {'\x05', static_cast<char>(down ? 1 : 0), static_cast<char>(usage & 0xff), static_cast<char>(usage >> 8),
            static_cast<char>(mods), '\x00'}; // type, down, usage LE, mods, no character
}

void pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// A phone on a HID connection, with the gestures the application's control client makes.
class Phone {
public:
    explicit Phone(EngineLaunch launch = {}) : engine_(withDefaults(std::move(launch))), hid_(engine_.hidSocketPath()) {}

    static EngineLaunch withDefaults(EngineLaunch launch) {
        launch.environment.emplace("VEDEVAVE_SIM_CLOCK", "09:41");
        return launch;
    }

    EngineProcess& engine() { return engine_; }

    // The control client's tap: contact, contact again 45 ms later, release after 160 ms.
    void tap(double u, double v, int holdMs = 160) {
        const uint16_t x = touchCoordinate(u);
        const uint16_t y = touchCoordinate(v);
        send(touchBytes(true, x, y));
        pause(45);
        send(touchBytes(true, x, y));
        pause(holdMs);
        send(touchBytes(false, x, y));
    }
    // A touch at raw touch-space coordinates (no orientation mapping).
    void tapRaw(uint16_t x, uint16_t y) {
        send(touchBytes(true, x, y));
        pause(60);
        send(touchBytes(false, x, y));
    }
    void swipe(double u0, double v0, double u1, double v1, int durationMs, int steps = 8) {
        for (int i = 0; i <= steps; ++i) {
            const double t = static_cast<double>(i) / steps;
            send(touchBytes(i < steps, touchCoordinate(u0 + (u1 - u0) * t), touchCoordinate(v0 + (v1 - v0) * t)));
            pause(durationMs / steps);
        }
    }
    void button(const std::string& name) {
        send(buttonBytes(name, true));
        send(buttonBytes(name, false));
    }
    void key(uint16_t usage, uint8_t mods = 0) {
        send(keyBytes(true, usage, mods));
        send(keyBytes(false, usage, mods));
    }
    void send(const std::string& bytes) { ASSERT_TRUE(hid_.send(bytes)); }

    template <typename Predicate>
    nlohmann::json waitFor(Predicate predicate) {
        return engine_.waitForState(predicate, 3s);
    }
    nlohmann::json settled() {
        return waitFor([](const nlohmann::json& s) { return s["animating"] == false; });
    }

    // The current picture, decoded; also saved as build/phone-screens/<name>.png.
    cairo_surface_t* screenshot(const std::string& name) {
        settled();
        const auto response = engine_.get("/debug/screenshot.png");
        EXPECT_EQ(response.status, 200);
        const std::filesystem::path folder =
            std::filesystem::canonical("/proc/self/exe").parent_path().parent_path() / "phone-screens";
        std::filesystem::create_directories(folder);
        std::ofstream(folder / (name + ".png"), std::ios::binary) << response.body;
        struct Reader {
            const std::string* bytes;
            size_t at = 0;
        } reader{&response.body};
        cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(
            [](void* closure, unsigned char* data, unsigned int length) {
                auto* r = static_cast<Reader*>(closure);
                if (r->at + length > r->bytes->size()) {
                    return CAIRO_STATUS_READ_ERROR;
                }
                std::memcpy(data, r->bytes->data() + r->at, length);
                r->at += length;
                return CAIRO_STATUS_SUCCESS;
            },
            &reader);
        surfaces_.emplace_back(surface, cairo_surface_destroy);
        return surface;
    }
    // Pixel at picture fractions (u, v) as 0xRRGGBB.
    static uint32_t rgb(cairo_surface_t* s, double u, double v) {
        const int x = static_cast<int>(u * cairo_image_surface_get_width(s));
        const int y = static_cast<int>(v * cairo_image_surface_get_height(s));
        const auto* row = cairo_image_surface_get_data(s) + static_cast<size_t>(y) * cairo_image_surface_get_stride(s);
        uint32_t pixel = 0;
        std::memcpy(&pixel, row + static_cast<size_t>(x) * 4, 4);
        return pixel & 0xFFFFFF;
    }

private:
    EngineProcess engine_;
    UnixClient hid_;
    std::vector<std::unique_ptr<cairo_surface_t, void (*)(cairo_surface_t*)>> surfaces_;
};

auto onScreen(const std::string& screen) {
    return [screen](const nlohmann::json& s) { return s["screen"] == screen && s["animating"] == false; };
}

// Grid position of the Notes icon (first column, first row) in the 390x844 test phone.
constexpr double notesU = (24 + 31) / 390.0;
constexpr double notesV = (78 + 31) / 844.0;

// Usages on a US keyboard.
constexpr uint16_t usageOf(char letter) {
    return static_cast<uint16_t>(0x04 + (letter - 'a'));
}
constexpr uint8_t shift = 0x01;
constexpr uint8_t command = 0x08;
constexpr uint16_t space = 0x2C;
constexpr uint16_t returnKey = 0x28;
constexpr uint16_t backspace = 0x2A;
constexpr uint16_t clearKey = 156;

} // namespace

TEST(PhoneScenario, StartsOnHomeUnlessLockedAndUnlocksWithASwipe) {
    Phone phone({.environment = {{"VEDEVAVE_SIM_LOCKED", "1"}}});
    auto state = phone.waitFor(onScreen("lock"));
    ASSERT_EQ(state["screen"], "lock");
    EXPECT_EQ(state["time"], "9:41");
    phone.screenshot("lock");
    phone.tap(0.5, 0.5); // a tap does not unlock
    EXPECT_EQ(phone.settled()["screen"], "lock");
    phone.swipe(0.5, 0.97, 0.5, 0.5, 200);
    EXPECT_EQ(phone.waitFor(onScreen("home"))["screen"], "home");

    // Lock turns the display off; a button wakes it to the lock screen; the home button does not unlock.
    phone.button("lock");
    state = phone.waitFor([](const nlohmann::json& s) { return s["displayOn"] == false; });
    EXPECT_EQ(state["screen"], "lock");
    EXPECT_EQ(state["foreground"]["bundleId"], "com.apple.springboard");
    EXPECT_EQ(Phone::rgb(phone.screenshot("display-off"), 0.5, 0.5), 0x000000u);
    phone.button("home");
    state = phone.waitFor([](const nlohmann::json& s) { return s["displayOn"] == true; });
    EXPECT_EQ(state["screen"], "lock");
}

TEST(PhoneScenario, TypesIntoNotesUnderEachLayout) {
    struct Case {
        const char* layout;
        std::vector<std::pair<uint16_t, uint8_t>> keys; // what the application sends for "Hello é"
        const char* shown;
    };
    const std::vector<Case> cases = {
        // US has no é: the application folds it to e.
        {"us",
         {{usageOf('h'), shift}, {usageOf('e'), 0}, {usageOf('l'), 0}, {usageOf('l'), 0}, {usageOf('o'), 0},
          {space, 0}, {usageOf('e'), 0}},
         "Hello e"},
        // AZERTY: é is the unshifted 2 key; o and l sit where they do on US, h too.
        {"fr",
         {{0x0B, shift}, {0x08, 0}, {0x0F, 0}, {0x0F, 0}, {0x12, 0}, {space, 0}, {0x1F, 0}},
         "Hello \xC3\xA9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.layout);
        Phone phone({.environment = {{"VEDEVAVE_SIM_KEYBOARD", c.layout}}});
        phone.tap(notesU, notesV);
        auto state = phone.waitFor(onScreen("app"));
        ASSERT_EQ(state["app"]["name"], "Notes");
        EXPECT_EQ(state["foreground"]["bundleId"], "com.apple.mobilenotes");
        EXPECT_EQ(state["keyboardLayout"], c.layout);
        phone.tap(0.5, 0.3); // into the note
        state = phone.waitFor([](const nlohmann::json& s) { return s["focusedField"] == "note"; });
        EXPECT_EQ(state["keyboardVisible"], true);
        for (auto [usage, mods] : c.keys) {
            phone.key(usage, mods);
        }
        state = phone.waitFor([&](const nlohmann::json& s) { return s["focusedText"] == c.shown; });
        EXPECT_EQ(state["focusedText"], c.shown);
        phone.screenshot(std::string("notes-") + c.layout);
        // A second tap into the note keeps the text; backspace removes the whole é.
        phone.key(backspace);
        state = phone.waitFor([&](const nlohmann::json& s) { return s["focusedText"] == "Hello "; });
        EXPECT_EQ(state["focusedText"], "Hello ");
    }
}

TEST(PhoneScenario, GoesHomeByBottomSwipeAndByButton) {
    Phone phone;
    ASSERT_EQ(phone.engine().post("/open-app", R"({"name":" set tings "})").status, 200);
    ASSERT_EQ(phone.waitFor(onScreen("app"))["app"]["name"], "Settings");
    // The control client's canned swipe up: six touches 20 ms apart from the bottom edge.
    for (uint16_t y : {64000, 52000, 40000, 28000, 16000}) {
        phone.send(touchBytes(true, 32768, y));
        pause(20);
    }
    phone.send(touchBytes(false, 32768, 8000));
    auto state = phone.waitFor(onScreen("home"));
    EXPECT_EQ(state["screen"], "home");
    EXPECT_EQ(state["foreground"]["bundleId"], "com.apple.springboard");

    ASSERT_EQ(phone.engine().post("/open-app", R"({"name":"Messages"})").status, 200);
    phone.waitFor(onScreen("app"));
    phone.button("home");
    EXPECT_EQ(phone.waitFor(onScreen("home"))["screen"], "home");

    // A slow swipe up opens the app switcher with the recent apps, newest first.
    phone.swipe(0.5, 0.98, 0.5, 0.6, 800);
    state = phone.waitFor(onScreen("switcher"));
    EXPECT_EQ(state["recentApps"], nlohmann::json({"Messages", "Settings"}));
    phone.screenshot("switcher");
    phone.tap(0.5, 0.45); // the front card
    EXPECT_EQ(phone.waitFor(onScreen("app"))["app"]["name"], "Messages");

    // The canned swipe down from the top right opens the control centre over the app.
    for (uint16_t y : {1200, 8000, 18000, 30000, 42000}) {
        phone.send(touchBytes(true, 50000, y));
        pause(20);
    }
    phone.send(touchBytes(false, 50000, 48000));
    state = phone.waitFor(onScreen("controlCenter"));
    EXPECT_EQ(state["underScreen"], "app");
    EXPECT_EQ(state["foreground"]["name"], "Messages");
    phone.screenshot("control-centre");
}

TEST(PhoneScenario, OpensCalculatorThroughSpotlightAndComputes) {
    Phone phone;
    phone.tap(0.5, 0.82); // the search pill
    auto state = phone.waitFor(onScreen("spotlight"));
    EXPECT_EQ(state["focusedField"], "spotlight");
    EXPECT_EQ(state["keyboardVisible"], true);
    // What the open-app macro sends: Clear, backspaces, then the name.
    phone.key(clearKey);
    for (int i = 0; i < 3; ++i) {
        phone.key(backspace);
    }
    for (char c : std::string("calc")) {
        phone.key(usageOf(c));
    }
    state = phone.waitFor([](const nlohmann::json& s) { return s["spotlight"]["topHit"] == "Calculator"; });
    EXPECT_EQ(state["focusedText"], "calc");
    cairo_surface_t* spotlight = phone.screenshot("spotlight");
    EXPECT_EQ(Phone::rgb(spotlight, 0.78, 0.90), 0x007AFFu); // the open key
    EXPECT_EQ(Phone::rgb(spotlight, 0.6, 0.16), 0xFFFFFFu);  // the top hit's card
    phone.tap(0.18, 0.18);
    state = phone.waitFor(onScreen("app"));
    EXPECT_EQ(state["app"]["name"], "Calculator");
    EXPECT_EQ(state["foreground"]["bundleId"], "com.apple.calculator");
    EXPECT_EQ(state["focusedField"], "calculator");

    // 12+3×4 then Return: precedence holds. + and = share one key on US.
    for (auto [usage, mods] : std::vector<std::pair<uint16_t, uint8_t>>{
             {0x1E, 0}, {0x1F, 0}, {0x2E, shift}, {0x20, 0}, {0x25, shift}, {0x21, 0}}) {
        phone.key(usage, mods);
    }
    phone.key(returnKey);
    state = phone.waitFor([](const nlohmann::json& s) { return s["focusedText"] == "24"; });
    EXPECT_EQ(state["focusedText"], "24");
    phone.screenshot("calculator");

    // The keyboard's open key, and Return, open the top hit too.
    phone.button("home");
    phone.tap(0.5, 0.82);
    phone.waitFor(onScreen("spotlight"));
    for (char c : std::string("mess")) {
        phone.key(usageOf(c));
    }
    phone.waitFor([](const nlohmann::json& s) { return s["spotlight"]["topHit"] == "Messages"; });
    phone.tap(0.78, 0.90);
    state = phone.waitFor(onScreen("app"));
    EXPECT_EQ(state["app"]["name"], "Messages");
}

TEST(PhoneScenario, LongPressEntersJiggleModeAndDoneLeavesIt) {
    Phone phone;
    phone.tap(notesU, notesV, 900);
    auto state = phone.waitFor(onScreen("jiggle"));
    EXPECT_EQ(state["screen"], "jiggle");
    EXPECT_EQ(state["foreground"]["bundleId"], "com.apple.springboard");
    phone.screenshot("jiggle");
    phone.tap(notesU, notesV); // icons do not open while they jiggle
    EXPECT_EQ(phone.settled()["screen"], "jiggle");
    phone.tap(0.92, 0.07);
    EXPECT_EQ(phone.waitFor(onScreen("home"))["screen"], "home");
    phone.screenshot("home");
}

TEST(PhoneScenario, PhotosTurnsToLandscapeAndTakesTurnedTouches) {
    struct Case {
        const char* landscape;
        // Digitizer coordinates of picture point (u, v) for this home side.
        std::pair<double, double> (*toDevice)(double u, double v);
    };
    const std::vector<Case> cases = {
        {"right", [](double u, double v) { return std::pair{1 - v, u}; }},
        {"left", [](double u, double v) { return std::pair{v, 1 - u}; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.landscape);
        Phone phone({.environment = {{"VEDEVAVE_LANDSCAPE", c.landscape}}});
        ASSERT_EQ(phone.engine().post("/open-app", R"({"name":"photos"})").status, 200);
        auto state = phone.waitFor(onScreen("app"));
        EXPECT_EQ(state["orientation"], "landscape");
        cairo_surface_t* picture = phone.screenshot(std::string("photos-") + c.landscape);
        EXPECT_GT(cairo_image_surface_get_width(picture), cairo_image_surface_get_height(picture));
        // The heart sits at the picture's bottom right.
        auto [hx, hy] = c.toDevice(0.93, 0.9);
        phone.tapRaw(touchCoordinate(hx), touchCoordinate(hy));
        state = phone.waitFor([](const nlohmann::json& s) { return s["apps"]["photoFavorite"] == true; });
        EXPECT_EQ(state["apps"]["photoFavorite"], true);
        EXPECT_NEAR(state["lastGesture"]["endX"].get<double>(), 0.93, 0.001);
        // "‹ Library" at the top left leaves Photos, and the phone turns back.
        auto [bx, by] = c.toDevice(0.08, 0.06);
        phone.tapRaw(touchCoordinate(bx), touchCoordinate(by));
        state = phone.waitFor(onScreen("home"));
        EXPECT_EQ(state["orientation"], "portrait");
        EXPECT_LT(cairo_image_surface_get_width(phone.screenshot("home-after-photos")), 500);
    }
}

TEST(PhoneScenario, PastesTheClipboardFileIntoTheFocusedField) {
    const std::string clip = std::filesystem::temp_directory_path() /
                             ("vedevave-clip-" + std::to_string(getpid()) + ".txt");
    std::ofstream(clip) << "pasted \xE2\x9C\x93 text\nsecond line";
    Phone phone({.environment = {{"VEDEVAVE_CLIPBOARD_FILE", clip}}});
    ASSERT_EQ(phone.engine().post("/open-app", R"({"name":"Messages"})").status, 200);
    phone.waitFor(onScreen("app"));
    phone.tap(0.3, 0.825); // the compose field
    phone.waitFor([](const nlohmann::json& s) { return s["focusedField"] == "compose"; });
    // Command held as a key, then V, then a keyboard reset releases everything held.
    phone.send(keyBytes(true, 0xE3, 0));
    phone.key(usageOf('v'));
    phone.send(std::string{'\x06'}); // keyboard reset
    auto state = phone.waitFor([](const nlohmann::json& s) { return !s["focusedText"].get<std::string>().empty(); });
    // One line in the one-line compose field.
    EXPECT_EQ(state["focusedText"], "pasted \xE2\x9C\x93 text second line");
    state = phone.waitFor([](const nlohmann::json& s) { return s["heldKeys"].empty(); });
    EXPECT_TRUE(state["heldKeys"].empty());
    phone.tap(0.86, 0.6); // Send sits above the keyboard while typing
    state = phone.waitFor([](const nlohmann::json& s) { return s["apps"]["messages"].size() == 3; });
    EXPECT_EQ(state["apps"]["messages"].back()["text"], "pasted \xE2\x9C\x93 text second line");
    EXPECT_EQ(state["focusedText"], "");
    phone.screenshot("messages");
    std::filesystem::remove(clip);
}
