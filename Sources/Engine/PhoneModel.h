// The state of the simulated phone's screen: which screen is up (home or an app), which icon a
// finger presses, the foreground app and the pids of launched apps. Every input front end (HID
// socket, HTTP control routes) reaches it through InputDispatcher. Io thread only.
//
// Visual changes bump version(); the frame producer re-renders when the version it drew is old.
// Adding a screen (the next issue: lock screen, Spotlight, keyboard, app switcher, real apps):
// add a ScreenKind, its gesture handling in handleGesture(), and its painter in PhoneRenderer.
#pragma once

#include "Engine/AppCatalog.h"
#include "Engine/PhoneLayout.h"
#include "Engine/TouchTracker.h"

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace Engine {

enum class ScreenKind { home, app };

const char* screenKindName(ScreenKind kind);

class PhoneModel {
public:
    PhoneModel(int width, int height, const AppCatalog& catalog);

    // Input, already decoded. Touch coordinates are the 16-bit portrait touch space.
    void touch(bool contact, uint16_t x, uint16_t y, uint64_t nowNs);
    void button(const std::string& name, bool pressed);

    // Opens the app whose name (or bundle id) matches `query` as AppCatalog::find does; returns
    // it, or nullptr when no app matches (nothing changes then).
    const AppInfo* openApp(std::string_view query);
    void launch(int appIndex);
    void goHome();

    ScreenKind screen() const { return screen_; }
    // The app on screen; nullptr on the home screen.
    const AppInfo* currentApp() const;
    std::optional<int> currentAppIndex() const { return appIndex_; }
    std::optional<int> pressedApp() const { return pressedApp_; }
    uint64_t version() const { return version_; }
    const PhoneLayout& layout() const { return layout_; }
    const AppCatalog& catalog() const { return catalog_; }
    std::string orientation() const { return "portrait"; }

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
    void setPressed(std::optional<int> appIndex);
    void markChanged() { ++version_; }

    const AppCatalog& catalog_;
    PhoneLayout layout_;
    TouchTracker tracker_;
    ScreenKind screen_ = ScreenKind::home;
    std::optional<int> appIndex_;
    std::optional<int> pressedApp_;
    uint64_t version_ = 1;
    double foregroundSince_;
    std::map<std::string, int> pids_;
    int nextPid_ = 4201;
    std::optional<Gesture> lastGesture_;
};

} // namespace Engine
