// The state of the simulated phone: which screen is up (lock, home, Spotlight, an app, the app
// switcher, the control centre, icon-editing "jiggle" mode), the app in front and the recent
// apps, the focused text field, volume, orientation, and the short transition animation. Every
// input front end (HID socket, HTTP control routes) reaches it through InputDispatcher. Io thread
// only.
//
// State changes at once and deterministically; only the picture animates. Visual changes bump
// version(); the frame producer re-renders when the version it drew is old. advance() moves the
// animation, the volume indicator and the clock on and is called on every frame tick.
// Adding a screen: add a ScreenKind, its gesture handling in handleGesture(), and its painter in
// PhoneRenderer.
#pragma once

#include "Engine/AppCatalog.h"
#include "Engine/KeyInput.h"
#include "Engine/PhoneApps.h"
#include "Engine/PhoneLayout.h"
#include "Engine/TouchTracker.h"

#include <cstdint>
#include <deque>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace Engine {

enum class ScreenKind { lock, home, spotlight, app, switcher, controlCenter, jiggle };

const char* screenKindName(ScreenKind kind);

// Which side the home position is on when the phone lies in landscape; `buffer` takes touches
// as they come, without turning them.
enum class LandscapeHome { right, left, buffer };

struct PhoneSettings {
    KeyboardLayoutKind keyboard = KeyboardLayoutKind::us; // VEDEVAVE_SIM_KEYBOARD
    std::string clipboardFile;                            // VEDEVAVE_CLIPBOARD_FILE, pasted by command-V
    std::string frozenClock;                              // VEDEVAVE_SIM_CLOCK ("09:41"); empty: local time
    bool startsLocked = false;                            // VEDEVAVE_SIM_LOCKED
    LandscapeHome landscapeHome = LandscapeHome::right;   // VEDEVAVE_LANDSCAPE / VEDEVAVE_HID_ORIENT
};

class PhoneModel {
public:
    // How long a screen transition animates.
    static constexpr uint64_t transitionNs = 300'000'000;
    // How long the volume indicator stays after the last volume button.
    static constexpr uint64_t volumeIndicatorNs = 1'500'000'000;
    static constexpr int maxVolume = 16;

    PhoneModel(int width, int height, const AppCatalog& catalog, PhoneSettings settings = {});

    // Input, already decoded. Touch coordinates are the 16-bit portrait touch space.
    void touch(bool contact, uint16_t x, uint16_t y, uint64_t nowNs);
    void button(const std::string& name, bool pressed);
    void key(bool down, uint16_t usage, uint8_t mods);
    void keyboardReset();
    // Moves time-driven state on (animation, volume indicator, clock); call once per frame tick.
    void advance(uint64_t nowNs);

    // Opens the app whose name (or bundle id) matches `query` as AppCatalog::find does; returns
    // it, or nullptr when no app matches (nothing changes then).
    const AppInfo* openApp(std::string_view query);
    void launch(int appIndex);
    void goHome();

    ScreenKind screen() const { return screen_; }
    // The screen under the control centre (the screen itself otherwise).
    ScreenKind baseScreen() const { return screen_ == ScreenKind::controlCenter ? coveredScreen_ : screen_; }
    // The app in front; nullptr on system screens. Stays set under the control centre.
    const AppInfo* currentApp() const;
    std::optional<int> currentAppIndex() const { return appIndex_; }
    std::optional<int> pressedApp() const { return pressedApp_; }
    uint64_t version() const { return version_; }
    const PhoneLayout& layout() const { return layout_; }
    const AppCatalog& catalog() const { return catalog_; }
    bool isLandscape() const;
    std::string orientation() const { return isLandscape() ? "landscape" : "portrait"; }
    bool isDisplayOn() const { return displayOn_; }
    bool isKeyboardVisible() const;
    const std::string& focusedField() const { return focused_; }
    std::string focusedText() const;
    const PhoneApps& apps() const { return apps_; }
    // Apps matching Spotlight's query, best first (the first is the top hit).
    std::vector<int> spotlightResults() const;
    const std::deque<int>& recentApps() const { return recent_; }
    int volume() const { return volume_; }
    bool isMuted() const { return muted_; }
    bool isVolumeIndicatorVisible() const { return volumeIndicatorUntilNs_ != 0; }
    bool isTileOn(const std::string& tile) const;
    bool isShiftArmed() const { return shiftArmed_; }
    // 0..1 through the current transition; 1 when settled.
    double transitionProgress() const { return transitionProgress_; }
    const std::string& clockText() const { return clock_; }

    // The foreground report ("available", "fresh", "monitor", "bundleId",
    // "name", "state", "timestamp", "ageMs"). The simulated monitor is always current: the
    // report is taken when the foreground changes, "timestamp" is that moment (Unix seconds) and
    // "ageMs" the time since.
    nlohmann::json foregroundReport(double nowUnixSeconds) const;
    // A stable fake pid per launched app; 0 for apps never launched.
    int pidOf(const std::string& bundleId) const;

    // Screen facts for /debug/state.
    nlohmann::json screenJson() const;

private:
    void handleGesture(const Gesture& gesture);
    bool handleEdgeSwipe(const Gesture& gesture);
    void tapAt(double x, double y, bool isLongPress);
    void tapKeyboard(double x, double y);
    void applyCommand(const KeyCommand& command);
    void typeText(const std::string& text);
    void pressReturn();
    void dragSettings();
    void setScreen(ScreenKind screen);
    void setForeground(std::optional<int> appIndex);
    void focus(const std::string& field);
    void setPressed(std::optional<int> appIndex);
    void changeVolume(int delta);
    void lockOrWake();
    void markChanged() { ++version_; }
    TextField* focusedTextField();

    const AppCatalog& catalog_;
    PhoneSettings settings_;
    PhoneLayout layout_;
    TouchTracker tracker_;
    KeyInput keys_;
    PhoneApps apps_;
    ScreenKind screen_ = ScreenKind::home;
    ScreenKind coveredScreen_ = ScreenKind::home;
    bool displayOn_ = true;
    std::optional<int> appIndex_;
    std::optional<int> pressedApp_;
    std::deque<int> recent_;
    std::string focused_;
    bool shiftArmed_ = false;
    int volume_ = 8;
    bool muted_ = false;
    uint64_t volumeIndicatorUntilNs_ = 0;
    std::map<std::string, bool> tiles_;
    uint64_t nowNs_ = 0;
    uint64_t transitionStartNs_ = 0;
    double transitionProgress_ = 1;
    double dragBaseScroll_ = 0;
    std::string clock_;
    uint64_t version_ = 1;
    double foregroundSince_;
    std::map<std::string, int> pids_;
    int nextPid_ = 4201;
    std::optional<Gesture> lastGesture_;
};

} // namespace Engine
