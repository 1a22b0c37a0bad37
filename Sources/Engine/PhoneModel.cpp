#include "Engine/PhoneModel.h"

#include "Engine/EngineClock.h"
#include "Engine/ScreenGeometry.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>

namespace Engine {

namespace G = ScreenGeometry;

namespace {

constexpr size_t maxRecentApps = 8;

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

// "09:41" shows as "9:41", like the phone's own clock.
std::string clockFrom(int hours, int minutes) {
    char text[16];
    std::snprintf(text, sizeof text, "%d:%02d", hours, minutes);
    return text;
}

std::string frozenClockText(const std::string& frozen) {
    int h = 0;
    int m = 0;
    if (std::sscanf(frozen.c_str(), "%d:%d", &h, &m) == 2 && h >= 0 && h < 24 && m >= 0 && m < 60) {
        return clockFrom(h, m);
    }
    return "9:41";
}

std::string localClockText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return clockFrom(local.tm_hour, local.tm_min);
}

} // namespace

const char* screenKindName(ScreenKind kind) {
    switch (kind) {
    case ScreenKind::lock:
        return "lock";
    case ScreenKind::home:
        return "home";
    case ScreenKind::spotlight:
        return "spotlight";
    case ScreenKind::app:
        return "app";
    case ScreenKind::switcher:
        return "switcher";
    case ScreenKind::controlCenter:
        return "controlCenter";
    case ScreenKind::jiggle:
        return "jiggle";
    }
    return "home";
}

PhoneModel::PhoneModel(int width, int height, const AppCatalog& catalog, PhoneSettings settings)
    : catalog_(catalog), settings_(std::move(settings)), layout_(width, height, catalog),
      keys_(settings_.keyboard), foregroundSince_(unixSeconds()) {
    clock_ = settings_.frozenClock.empty() ? localClockText() : frozenClockText(settings_.frozenClock);
    if (settings_.startsLocked) {
        screen_ = ScreenKind::lock;
    }
}

const AppInfo* PhoneModel::currentApp() const {
    return appIndex_ ? &catalog_.apps()[static_cast<size_t>(*appIndex_)] : nullptr;
}

bool PhoneModel::isLandscape() const {
    const AppInfo* app = currentApp();
    return app != nullptr && baseScreen() == ScreenKind::app && app->bundleId == AppId::photos;
}

bool PhoneModel::isKeyboardVisible() const {
    if (!displayOn_) {
        return false;
    }
    const ScreenKind base = baseScreen();
    return base == ScreenKind::spotlight ||
           (base == ScreenKind::app && !focused_.empty() && focused_ != FieldName::calculator);
}

TextField* PhoneModel::focusedTextField() {
    return focused_.empty() ? nullptr : apps_.field(focused_);
}

std::string PhoneModel::focusedText() const {
    if (focused_ == FieldName::calculator) {
        return apps_.calculator().display();
    }
    const TextField* field = focused_.empty() ? nullptr : apps_.field(focused_);
    return field ? field->text() : "";
}

bool PhoneModel::isTileOn(const std::string& tile) const {
    const auto it = tiles_.find(tile);
    return it != tiles_.end() && it->second;
}

std::vector<int> PhoneModel::spotlightResults() const {
    const std::string query = AppCatalog::normalizeName(apps_.field(FieldName::spotlight)->text());
    std::vector<int> prefix;
    std::vector<int> inside;
    if (query.empty()) {
        return prefix;
    }
    for (size_t i = 0; i < catalog_.apps().size(); ++i) {
        const std::string name = AppCatalog::normalizeName(catalog_.apps()[i].name);
        const auto at = name.find(query);
        if (at == 0) {
            prefix.push_back(static_cast<int>(i));
        } else if (at != std::string::npos) {
            inside.push_back(static_cast<int>(i));
        }
    }
    prefix.insert(prefix.end(), inside.begin(), inside.end());
    return prefix;
}

// ---- time ----

void PhoneModel::advance(uint64_t nowNs) {
    nowNs_ = nowNs;
    if (transitionProgress_ < 1) {
        const uint64_t elapsed = nowNs >= transitionStartNs_ ? nowNs - transitionStartNs_ : 0;
        transitionProgress_ = std::min(1.0, static_cast<double>(elapsed) / static_cast<double>(transitionNs));
        markChanged();
    }
    if (volumeIndicatorUntilNs_ != 0 && nowNs >= volumeIndicatorUntilNs_) {
        volumeIndicatorUntilNs_ = 0;
        markChanged();
    }
    if (settings_.frozenClock.empty()) {
        std::string clock = localClockText();
        if (clock != clock_) {
            clock_ = std::move(clock);
            markChanged();
        }
    }
}

void PhoneModel::setScreen(ScreenKind screen) {
    pressedApp_.reset();
    if (screen_ == screen) {
        return;
    }
    screen_ = screen;
    transitionStartNs_ = nowNs_;
    transitionProgress_ = 0;
    markChanged();
}

void PhoneModel::setForeground(std::optional<int> appIndex) {
    if (appIndex_ != appIndex) {
        appIndex_ = appIndex;
        foregroundSince_ = unixSeconds();
        markChanged();
    }
}

void PhoneModel::focus(const std::string& field) {
    if (focused_ != field) {
        focused_ = field;
        shiftArmed_ = false;
        markChanged();
    }
}

// ---- touches ----

void PhoneModel::touch(bool contact, uint16_t x, uint16_t y, uint64_t nowNs) {
    nowNs_ = std::max(nowNs_, nowNs);
    double nx = x / 65535.0;
    double ny = y / 65535.0;
    if (isLandscape()) {
        // Touches come in the digitizer's portrait space; turn them into the landscape picture.
        const double px = nx;
        const double py = ny;
        switch (settings_.landscapeHome) {
        case LandscapeHome::right:
            nx = py, ny = 1 - px;
            break;
        case LandscapeHome::left:
            nx = 1 - py, ny = px;
            break;
        case LandscapeHome::buffer:
            break;
        }
    }
    const bool wasDown = tracker_.isDown();
    const auto gesture = tracker_.touch(contact, nx, ny, nowNs);
    if (contact && !wasDown) {
        dragBaseScroll_ = apps_.settingsScroll();
    }
    if (screen_ == ScreenKind::home) {
        // Pressed-icon feedback: the icon under a finger that has not moved is darkened.
        std::optional<int> pressed;
        if (tracker_.isDown() && !tracker_.hasMoved()) {
            pressed = layout_.appAt(tracker_.startX() * layout_.width(), tracker_.startY() * layout_.height());
        }
        setPressed(pressed);
    }
    if (tracker_.hasMoved()) {
        dragSettings();
    }
    if (gesture) {
        lastGesture_ = gesture;
        handleGesture(*gesture);
    }
}

void PhoneModel::dragSettings() {
    const AppInfo* app = currentApp();
    if (screen_ != ScreenKind::app || app == nullptr || app->bundleId != AppId::settings ||
        !apps_.isSettingsList() || !G::settingsList.contains(tracker_.startX(), tracker_.startY()) ||
        tracker_.startY() >= G::bottomEdge) {
        return;
    }
    if (apps_.scrollSettings(dragBaseScroll_ + tracker_.startY() - tracker_.currentY())) {
        markChanged();
    }
}

void PhoneModel::handleGesture(const Gesture& gesture) {
    if (!displayOn_) {
        displayOn_ = true; // a touch on the dark screen wakes it to the lock screen
        markChanged();
        return;
    }
    if (handleEdgeSwipe(gesture)) {
        return;
    }
    if (gesture.kind == Gesture::Kind::swipe) {
        return;
    }
    tapAt(gesture.endX, gesture.endY, gesture.kind == Gesture::Kind::longPress);
}

bool PhoneModel::handleEdgeSwipe(const Gesture& g) {
    const double up = g.startY - g.endY;
    const double down = -up;
    const bool isSwipe = g.kind == Gesture::Kind::swipe;
    if (screen_ == ScreenKind::lock) {
        if (isSwipe && g.startY >= 0.5 && up >= G::bottomSwipeTravel) {
            setScreen(ScreenKind::home);
        }
        return true; // nothing else on the lock screen answers a touch
    }
    if (!isSwipe) {
        return false;
    }
    if (g.startY >= G::bottomEdge && up >= G::bottomSwipeTravel) {
        const ScreenKind base = baseScreen();
        if (g.durationNs >= G::slowSwipeNs && (base == ScreenKind::app || base == ScreenKind::home)) {
            focus("");
            setForeground(std::nullopt);
            setScreen(ScreenKind::switcher);
        } else {
            goHome();
        }
        return true;
    }
    if (screen_ == ScreenKind::controlCenter) {
        if (up >= G::topSwipeTravel) {
            setScreen(coveredScreen_);
        }
        return true;
    }
    if (g.startY <= G::topEdge && g.startX >= 0.5 && down >= G::topSwipeTravel) {
        coveredScreen_ = screen_;
        setScreen(ScreenKind::controlCenter);
        return true;
    }
    if (screen_ == ScreenKind::home && g.startY > 0.15 && g.startY < 0.8 && down >= G::topSwipeTravel) {
        apps_.field(FieldName::spotlight)->clear();
        focus(FieldName::spotlight);
        setScreen(ScreenKind::spotlight);
        return true;
    }
    if (screen_ == ScreenKind::switcher && !recent_.empty() && G::switcherCard.contains(g.startX, g.startY) &&
        up >= G::bottomSwipeTravel) {
        recent_.pop_front(); // flicking a card away closes that app
        if (recent_.empty()) {
            setScreen(ScreenKind::home);
        }
        markChanged();
        return true;
    }
    return false;
}

void PhoneModel::tapAt(double x, double y, bool isLongPress) {
    const double px = x * layout_.width();
    const double py = y * layout_.height();
    switch (screen_) {
    case ScreenKind::lock:
        break;
    case ScreenKind::home:
        if (isLongPress && y < G::searchPill.y) {
            setScreen(ScreenKind::jiggle);
        } else if (G::searchPill.contains(x, y)) {
            apps_.field(FieldName::spotlight)->clear();
            focus(FieldName::spotlight);
            setScreen(ScreenKind::spotlight);
        } else if (const auto app = layout_.appAt(px, py)) {
            launch(*app);
        }
        break;
    case ScreenKind::jiggle:
        if (G::jiggleDone.contains(x, y)) {
            setScreen(ScreenKind::home);
        }
        break;
    case ScreenKind::spotlight: {
        const auto results = spotlightResults();
        if (y >= G::keyboardTop) {
            tapKeyboard(x, y);
        } else if (G::spotlightCancel.contains(x, y)) {
            goHome();
        } else if (G::topHitRow.contains(x, y)) {
            if (!results.empty()) {
                launch(results[0]);
            }
        } else {
            for (int i = 0; i < G::maxResults && i + 1 < static_cast<int>(results.size()); ++i) {
                if (G::resultRow(i).contains(x, y)) {
                    launch(results[static_cast<size_t>(i) + 1]);
                    break;
                }
            }
        }
        break;
    }
    case ScreenKind::app: {
        if (isKeyboardVisible() && y >= G::keyboardTop) {
            tapKeyboard(x, y);
            break;
        }
        using Kind = PhoneApps::TapResult::Kind;
        const auto result = apps_.tap(currentApp()->bundleId, x, y, isKeyboardVisible());
        switch (result.kind) {
        case Kind::none:
            break;
        case Kind::changed:
            markChanged();
            break;
        case Kind::focus:
            focus(result.field);
            markChanged();
            break;
        case Kind::unfocus:
            focus(apps_.autoFocus(currentApp()->bundleId));
            markChanged();
            break;
        case Kind::home:
            goHome();
            break;
        }
        break;
    }
    case ScreenKind::switcher:
        for (size_t i = 0; i < recent_.size(); ++i) {
            const Rect card{G::switcherCard.x - static_cast<double>(i) * G::switcherPitch, G::switcherCard.y,
                            G::switcherCard.width, G::switcherCard.height};
            if (card.contains(x, y)) {
                launch(recent_[i]);
                return;
            }
        }
        goHome();
        break;
    case ScreenKind::controlCenter:
        for (const auto& tile : G::controlTiles()) {
            if (tile.rect.contains(x, y)) {
                tiles_[tile.label] = !isTileOn(tile.label);
                markChanged();
                return;
            }
        }
        setScreen(coveredScreen_);
        break;
    }
}

void PhoneModel::tapKeyboard(double x, double y) {
    const auto key = G::keyAt(x, y);
    if (!key) {
        return;
    }
    if (key->output == "\b") {
        applyCommand({KeyCommand::Kind::backspace, {}});
    } else if (key->output == "\n") {
        pressReturn();
    } else if (key->output.empty()) {
        if (key->label != "123") {
            shiftArmed_ = !shiftArmed_;
            markChanged();
        }
    } else {
        std::string text = key->output;
        if (shiftArmed_) {
            std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
            shiftArmed_ = false;
        }
        typeText(text);
    }
}

void PhoneModel::setPressed(std::optional<int> appIndex) {
    if (pressedApp_ != appIndex) {
        pressedApp_ = appIndex;
        markChanged();
    }
}

// ---- buttons ----

void PhoneModel::button(const std::string& name, bool pressed) {
    if (!pressed) {
        return;
    }
    if (name == "lock") {
        lockOrWake();
    } else if (name == "volume-up" || name == "vol_up") {
        changeVolume(1);
    } else if (name == "volume-down" || name == "vol_down") {
        changeVolume(-1);
    } else if (name == "mute") {
        muted_ = !muted_;
        volumeIndicatorUntilNs_ = nowNs_ + volumeIndicatorNs;
        markChanged();
    } else if (!displayOn_) {
        if (name == "home") {
            lockOrWake();
        }
    } else if (name == "home") {
        goHome();
    } else if (name == "app_switcher" && screen_ != ScreenKind::lock) {
        focus("");
        setForeground(std::nullopt);
        setScreen(ScreenKind::switcher);
    }
    // Other names are recorded by the dispatcher and change nothing.
}

void PhoneModel::lockOrWake() {
    if (!displayOn_) {
        displayOn_ = true;
        markChanged();
        return;
    }
    displayOn_ = false;
    focus("");
    setForeground(std::nullopt);
    setScreen(ScreenKind::lock);
    markChanged();
}

void PhoneModel::changeVolume(int delta) {
    volume_ = std::clamp(volume_ + delta, 0, maxVolume);
    if (delta > 0) {
        muted_ = false;
    }
    volumeIndicatorUntilNs_ = nowNs_ + volumeIndicatorNs;
    markChanged();
}

// ---- keys ----

void PhoneModel::key(bool down, uint16_t usage, uint8_t mods) {
    const KeyCommand command = keys_.key(down, usage, mods);
    if (command.kind != KeyCommand::Kind::none && displayOn_ && screen_ != ScreenKind::lock) {
        applyCommand(command);
    }
}

void PhoneModel::keyboardReset() {
    keys_.reset();
    if (shiftArmed_) {
        shiftArmed_ = false;
        markChanged();
    }
}

void PhoneModel::typeText(const std::string& text) {
    if (focused_ == FieldName::calculator) {
        bool changed = false;
        for (char c : text) {
            changed |= apps_.calculator().press(std::string(1, c));
        }
        if (changed) {
            markChanged();
        }
        return;
    }
    if (TextField* field = focusedTextField(); field && field->insert(text)) {
        markChanged();
    }
}

void PhoneModel::pressReturn() {
    if (focused_ == FieldName::spotlight) {
        const auto results = spotlightResults();
        if (!results.empty()) {
            launch(results[0]);
        }
        return;
    }
    if (focused_.empty()) {
        return;
    }
    bool keepFocus = true;
    if (apps_.returnIn(focused_, keepFocus)) {
        markChanged();
    }
    if (!keepFocus) {
        focus("");
    }
}

void PhoneModel::applyCommand(const KeyCommand& command) {
    using Kind = KeyCommand::Kind;
    if (command.kind == Kind::spotlight) {
        goHome();
        apps_.field(FieldName::spotlight)->clear();
        focus(FieldName::spotlight);
        setScreen(ScreenKind::spotlight);
        return;
    }
    if (command.kind == Kind::escape) {
        if (screen_ == ScreenKind::spotlight || screen_ == ScreenKind::jiggle) {
            goHome();
        } else if (screen_ == ScreenKind::app && currentApp()) {
            focus(apps_.autoFocus(currentApp()->bundleId));
        }
        return;
    }
    if (command.kind == Kind::returnKey) {
        pressReturn();
        return;
    }
    if (command.kind == Kind::paste) {
        std::ifstream file(settings_.clipboardFile, std::ios::binary);
        if (settings_.clipboardFile.empty() || !file) {
            std::fprintf(stderr, "DaridiveVarara: nothing to paste: the clipboard file \"%s\" cannot be read\n",
                         settings_.clipboardFile.c_str());
            return;
        }
        std::string text(TextField::maxBytes, '\0');
        file.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<size_t>(file.gcount()));
        typeText(text);
        return;
    }
    if (command.kind == Kind::text) {
        if (command.text == "\t" && (focusedTextField() == nullptr || !focusedTextField()->isMultiLine())) {
            return; // Tab moves on in a one-line field; it never types into it
        }
        typeText(command.text);
        return;
    }
    if (focused_ == FieldName::calculator) {
        const char* key = command.kind == Kind::clear ? "C" : nullptr;
        if (command.kind == Kind::backspace) {
            // The calculator's entry loses its last character, like a swipe on its display.
            std::string display = apps_.calculator().display();
            apps_.calculator().press("C");
            if (display.size() > 1 && display != "Error") {
                display.pop_back();
                for (char c : display) {
                    apps_.calculator().press(std::string(1, c));
                }
            }
            markChanged();
        } else if (key != nullptr && apps_.calculator().press(key)) {
            markChanged();
        }
        return;
    }
    TextField* field = focusedTextField();
    if (field == nullptr) {
        return;
    }
    bool changed = false;
    switch (command.kind) {
    case Kind::backspace:
        changed = field->backspace();
        break;
    case Kind::deleteForward:
        changed = field->deleteForward();
        break;
    case Kind::clear:
        changed = field->clear();
        break;
    case Kind::left:
        changed = field->moveLeft();
        break;
    case Kind::right:
        changed = field->moveRight();
        break;
    case Kind::start:
        changed = field->moveToStart();
        break;
    case Kind::end:
        changed = field->moveToEnd();
        break;
    default:
        break;
    }
    if (changed) {
        markChanged();
    }
}

// ---- apps ----

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
    if (!displayOn_) {
        displayOn_ = true;
        markChanged();
    }
    std::erase(recent_, appIndex);
    recent_.push_front(appIndex);
    if (recent_.size() > maxRecentApps) {
        recent_.pop_back();
    }
    if (screen_ == ScreenKind::app && appIndex_ == appIndex) {
        pressedApp_.reset();
        return;
    }
    focus(apps_.autoFocus(app.bundleId));
    setForeground(appIndex);
    setScreen(ScreenKind::app);
}

void PhoneModel::goHome() {
    pressedApp_.reset();
    if (screen_ == ScreenKind::lock) {
        return; // home does not unlock
    }
    focus("");
    setForeground(std::nullopt);
    setScreen(ScreenKind::home);
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
    const auto& apps = catalog_.apps();
    auto appName = [&](int index) { return apps[static_cast<size_t>(index)].name; };
    nlohmann::json results = nlohmann::json::array();
    for (int index : spotlightResults()) {
        results.push_back(appName(index));
    }
    nlohmann::json recent = nlohmann::json::array();
    for (int index : recent_) {
        recent.push_back(appName(index));
    }
    nlohmann::json held = nlohmann::json::array();
    for (uint16_t usage : keys_.heldKeys()) {
        held.push_back(usage);
    }
    nlohmann::json tiles = nlohmann::json::object();
    for (const auto& tile : G::controlTiles()) {
        tiles[tile.label] = isTileOn(tile.label);
    }
    nlohmann::json json = {
        {"screen", screenKindName(screen_)},
        {"underScreen", screen_ == ScreenKind::controlCenter ? nlohmann::json(screenKindName(coveredScreen_))
                                                              : nlohmann::json(nullptr)},
        {"locked", screen_ == ScreenKind::lock},
        {"displayOn", displayOn_},
        {"app", app ? nlohmann::json{{"name", app->name}, {"bundleId", app->bundleId}} : nlohmann::json(nullptr)},
        {"pressedIcon", pressedApp_ ? nlohmann::json(appName(*pressedApp_)) : nlohmann::json(nullptr)},
        {"orientation", orientation()},
        {"focusedField", focused_.empty() ? nlohmann::json(nullptr) : nlohmann::json(focused_)},
        {"focusedText", focusedText()},
        {"keyboardVisible", isKeyboardVisible()},
        {"keyboardLayout", keyboardLayoutName(keys_.layout().kind())},
        {"heldKeys", held},
        {"spotlight",
         {{"query", apps_.field(FieldName::spotlight)->text()},
          {"results", results},
          {"topHit", results.empty() ? nlohmann::json(nullptr) : results[0]}}},
        {"recentApps", recent},
        {"volume", {{"level", volume_}, {"muted", muted_}, {"indicatorVisible", isVolumeIndicatorVisible()}}},
        {"controlCenter", tiles},
        {"apps", apps_.toJson()},
        {"time", clock_},
        {"animating", transitionProgress_ < 1},
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
