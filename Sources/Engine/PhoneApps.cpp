#include "Engine/PhoneApps.h"

#include "Engine/ScreenGeometry.h"

#include <algorithm>

namespace Engine {

namespace G = ScreenGeometry;

namespace {
constexpr const char* passwordsRow = "Passwords";
}

PhoneApps::PhoneApps() {
    fields_.emplace(FieldName::spotlight, TextField(false));
    fields_.emplace(FieldName::note, TextField(true));
    fields_.emplace(FieldName::compose, TextField(false));
    fields_.emplace(FieldName::password, TextField(false));
    fields_.emplace(FieldName::address, TextField(false));
    messages_ = {{false, "Are we still on for lunch?"}, {true, "Yes! 12:30 works."}};
}

const std::vector<std::string>& PhoneApps::settingsRows() {
    static const std::vector<std::string> rows = {
        "Airplane Mode", "Wi-Fi",       "Bluetooth",     "Cellular",
        "General",       passwordsRow,  "Notifications", "Sounds & Haptics",
        "Focus",         "Screen Time", "Control Centre", "Display & Brightness",
        "Accessibility", "Wallpaper",   "Privacy & Security", "Battery",
    };
    return rows;
}

TextField* PhoneApps::field(const std::string& name) {
    const auto it = fields_.find(name);
    return it == fields_.end() ? nullptr : &it->second;
}

const TextField* PhoneApps::field(const std::string& name) const {
    const auto it = fields_.find(name);
    return it == fields_.end() ? nullptr : &it->second;
}

std::string PhoneApps::autoFocus(const std::string& bundleId) const {
    return bundleId == AppId::calculator ? FieldName::calculator : "";
}

double PhoneApps::maxSettingsScroll() const {
    const double content = G::settingsRowsTop + static_cast<double>(settingsRows().size()) * G::settingsRowHeight;
    return std::max(0.0, content - (G::settingsList.y + G::settingsList.height));
}

bool PhoneApps::scrollSettings(double offset) {
    const double clamped = std::clamp(offset, 0.0, maxSettingsScroll());
    if (clamped == settingsScroll_) {
        return false;
    }
    settingsScroll_ = clamped;
    return true;
}

PhoneApps::TapResult PhoneApps::tap(const std::string& bundleId, double x, double y, bool isKeyboardVisible) {
    using Kind = TapResult::Kind;
    if (bundleId == AppId::notes) {
        if (G::backButton.contains(x, y)) {
            return {Kind::unfocus, {}};
        }
        if (y > G::backButton.y && y < G::backButton.y + G::backButton.height && x > 0.78) {
            return {Kind::unfocus, {}}; // Done
        }
        if (G::noteBody.contains(x, y)) {
            return {Kind::focus, FieldName::note};
        }
        return {};
    }
    if (bundleId == AppId::messages) {
        const double top = isKeyboardVisible ? G::composeAboveKeyboard : G::composeField.y;
        const Rect compose{G::composeField.x, top, G::composeField.width, G::composeField.height};
        const Rect send{G::sendButton.x, top, G::sendButton.width, G::sendButton.height};
        if (send.contains(x, y)) {
            bool keepFocus = true;
            return returnIn(FieldName::compose, keepFocus) ? TapResult{Kind::changed, {}} : TapResult{};
        }
        if (compose.contains(x, y)) {
            return {Kind::focus, FieldName::compose};
        }
        return {};
    }
    if (bundleId == AppId::settings) {
        if (settingsPage_ == "password") {
            if (G::backButton.contains(x, y)) {
                settingsPage_ = "list";
                return {Kind::unfocus, {}};
            }
            if (G::passwordField.contains(x, y)) {
                return {Kind::focus, FieldName::password};
            }
            return {};
        }
        if (!G::settingsList.contains(x, y)) {
            return {};
        }
        const double contentY = y + settingsScroll_ - G::settingsRowsTop;
        if (contentY < 0) {
            return {};
        }
        const auto row = static_cast<size_t>(contentY / G::settingsRowHeight);
        if (row < settingsRows().size() && settingsRows()[row] == passwordsRow) {
            settingsPage_ = "password";
            return {Kind::changed, {}};
        }
        return {};
    }
    if (bundleId == AppId::calculator) {
        for (int r = 0; r < 5; ++r) {
            for (int c = 0; c < 4; ++c) {
                const char* key = G::calculatorKeys[r][c];
                // The wide 0 key covers its empty neighbour.
                const char* pressed = (*key == '\0' && c == 1) ? G::calculatorKeys[r][0] : key;
                if (G::calculatorKey(r, c).contains(x, y) && *pressed != '\0') {
                    return calculator_.press(pressed) ? TapResult{Kind::changed, {}} : TapResult{};
                }
            }
        }
        return {};
    }
    if (bundleId == AppId::safari) {
        if (G::addressField.contains(x, y)) {
            return {Kind::focus, FieldName::address};
        }
        return {};
    }
    if (bundleId == AppId::photos) {
        if (G::photosBack.contains(x, y)) {
            return {Kind::home, {}};
        }
        if (G::photosFavorite.contains(x, y)) {
            photoFavorite_ = !photoFavorite_;
            return {Kind::changed, {}};
        }
    }
    return {};
}

bool PhoneApps::returnIn(const std::string& name, bool& keepFocus) {
    keepFocus = true;
    if (name == FieldName::note) {
        return fields_.at(name).insert("\n");
    }
    if (name == FieldName::compose) {
        TextField& compose = fields_.at(name);
        if (compose.text().empty()) {
            return false;
        }
        messages_.push_back({true, compose.text()});
        compose.clear();
        return true;
    }
    if (name == FieldName::address) {
        keepFocus = false;
        safariPage_ = fields_.at(name).text();
        return true;
    }
    if (name == FieldName::password) {
        keepFocus = false;
        return true;
    }
    if (name == FieldName::calculator) {
        return calculator_.press("=");
    }
    return false;
}

nlohmann::json PhoneApps::toJson() const {
    nlohmann::json fields = nlohmann::json::object();
    for (const auto& [name, f] : fields_) {
        fields[name] = f.text();
    }
    fields[FieldName::calculator] = calculator_.display();
    nlohmann::json messages = nlohmann::json::array();
    for (const auto& m : messages_) {
        messages.push_back({{"fromMe", m.isFromMe}, {"text", m.text}});
    }
    return {{"fields", fields},
            {"messages", messages},
            {"settingsPage", settingsPage_},
            {"settingsScroll", settingsScroll_},
            {"safariPage", safariPage_},
            {"photoFavorite", photoFavorite_}};
}

} // namespace Engine
