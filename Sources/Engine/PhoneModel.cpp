#include "Engine/PhoneModel.h"

#include "Engine/EngineClock.h"

#include <algorithm>

namespace Engine {

namespace {

// A swipe that starts this close to the bottom edge and travels up this far goes home, like the
// home-indicator gesture of a phone without a home button.
constexpr double homeEdge = 0.92;
constexpr double homeTravel = 0.15;

const char* gestureKindName(Gesture::Kind kind) {
    switch (kind) {
    case Gesture::Kind::tap:
        return "tap";
    case Gesture::Kind::longPress:
        return "longPress";
    default:
        return "swipe";
    }
}

} // namespace

const char* screenKindName(ScreenKind kind) {
    return kind == ScreenKind::home ? "home" : "app";
}

PhoneModel::PhoneModel(int width, int height, const AppCatalog& catalog)
    : catalog_(catalog), layout_(width, height, catalog), foregroundSince_(unixSeconds()) {}

const AppInfo* PhoneModel::currentApp() const {
    return appIndex_ ? &catalog_.apps()[static_cast<size_t>(*appIndex_)] : nullptr;
}

void PhoneModel::touch(bool contact, uint16_t x, uint16_t y, uint64_t nowNs) {
    const double nx = x / 65535.0;
    const double ny = y / 65535.0;
    const auto gesture = tracker_.touch(contact, nx, ny, nowNs);
    if (screen_ == ScreenKind::home) {
        // Pressed-icon feedback: the icon under a finger that has not moved is darkened.
        std::optional<int> pressed;
        if (tracker_.isDown() && !tracker_.hasMoved()) {
            pressed =
                layout_.appAt(tracker_.startX() * layout_.width(), tracker_.startY() * layout_.height());
        }
        setPressed(pressed);
    }
    if (gesture) {
        lastGesture_ = gesture;
        handleGesture(*gesture);
    }
}

void PhoneModel::handleGesture(const Gesture& gesture) {
    if (gesture.kind == Gesture::Kind::swipe && gesture.startY >= homeEdge &&
        gesture.startY - gesture.endY >= homeTravel) {
        goHome();
        return;
    }
    if (gesture.kind != Gesture::Kind::tap) {
        return;
    }
    switch (screen_) {
    case ScreenKind::home:
        if (const auto app = layout_.appAt(gesture.endX * layout_.width(), gesture.endY * layout_.height())) {
            launch(*app);
        }
        break;
    case ScreenKind::app:
        break; // the app screens of this issue have nothing to tap yet
    }
}

void PhoneModel::setPressed(std::optional<int> appIndex) {
    if (pressedApp_ != appIndex) {
        pressedApp_ = appIndex;
        markChanged();
    }
}

void PhoneModel::button(const std::string& name, bool pressed) {
    if (!pressed) {
        return;
    }
    if (name == "home") {
        goHome();
    }
    // "lock", volume, mute and the app switcher arrive with the next issue's screens; they are
    // recorded by the dispatcher meanwhile.
}

const AppInfo* PhoneModel::openApp(std::string_view query) {
    const AppInfo* app = catalog_.find(query);
    if (app != nullptr) {
        launch(static_cast<int>(app - catalog_.apps().data()));
    }
    return app;
}

void PhoneModel::launch(int appIndex) {
    const AppInfo& app = catalog_.apps().at(static_cast<size_t>(appIndex));
    if (!pids_.contains(app.bundleId)) {
        pids_[app.bundleId] = nextPid_++;
    }
    pressedApp_.reset();
    if (screen_ == ScreenKind::app && appIndex_ == appIndex) {
        return;
    }
    screen_ = ScreenKind::app;
    appIndex_ = appIndex;
    foregroundSince_ = unixSeconds();
    markChanged();
}

void PhoneModel::goHome() {
    pressedApp_.reset();
    if (screen_ == ScreenKind::home) {
        return;
    }
    screen_ = ScreenKind::home;
    appIndex_.reset();
    foregroundSince_ = unixSeconds();
    markChanged();
}

nlohmann::json PhoneModel::foregroundReport(double nowUnixSeconds) const {
    const AppInfo* app = currentApp();
    return {
        {"available", true},
        {"fresh", true},
        {"monitor", "connected"},
        {"bundleId", app ? app->bundleId : std::string(AppCatalog::springboardBundleId)},
        {"name", app ? app->name : std::string(AppCatalog::springboardName)},
        {"state", "foreground"},
        {"timestamp", foregroundSince_},
        {"ageMs", std::max(0.0, (nowUnixSeconds - foregroundSince_) * 1000.0)},
    };
}

int PhoneModel::pidOf(const std::string& bundleId) const {
    const auto it = pids_.find(bundleId);
    return it == pids_.end() ? 0 : it->second;
}

nlohmann::json PhoneModel::screenJson() const {
    const AppInfo* app = currentApp();
    nlohmann::json json = {
        {"screen", screenKindName(screen_)},
        {"app",
         app ? nlohmann::json{{"name", app->name}, {"bundleId", app->bundleId}} : nlohmann::json(nullptr)},
        {"pressedIcon", pressedApp_ ? nlohmann::json(catalog_.apps()[static_cast<size_t>(*pressedApp_)].name)
                                    : nlohmann::json(nullptr)},
        {"orientation", orientation()},
        {"focusedField", nullptr},
        {"focusedText", ""},
        {"version", version_},
    };
    if (lastGesture_) {
        json["lastGesture"] = {{"kind", gestureKindName(lastGesture_->kind)},
                               {"startX", lastGesture_->startX},
                               {"startY", lastGesture_->startY},
                               {"endX", lastGesture_->endX},
                               {"endY", lastGesture_->endY},
                               {"durationMs", static_cast<double>(lastGesture_->durationNs) / 1e6}};
    } else {
        json["lastGesture"] = nullptr;
    }
    return json;
}

} // namespace Engine
