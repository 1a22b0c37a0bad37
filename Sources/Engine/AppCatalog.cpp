#include "Engine/AppCatalog.h"

#include <cctype>

namespace Engine {

AppCatalog::AppCatalog(std::vector<AppInfo> apps) : apps_(std::move(apps)) {
    for (size_t i = 0; i < apps_.size(); ++i) {
        (apps_[i].inDock ? dock_ : grid_).push_back(static_cast<int>(i));
    }
}

const AppCatalog& AppCatalog::standard() {
    static const AppCatalog catalog({
        {"Notes", "com.apple.mobilenotes", 0xFFE27A, 0xF5C518, "N", false},
        {"Settings", "com.apple.Preferences", 0xA2A7AE, 0x6E737A, "S", false},
        {"Calculator", "com.apple.calculator", 0x4A4A4A, 0x1C1C1E, "=", false},
        {"Photos", "com.apple.mobileslideshow", 0xFFB15C, 0xE8508E, "P", false},
        {"Camera", "com.apple.camera", 0x8E8E93, 0x48484A, "C", false},
        {"Clock", "com.apple.mobiletimer", 0x3A3A3C, 0x000000, "12", false},
        {"Calendar", "com.apple.mobilecal", 0xFFFFFF, 0xE5E5EA, "11", false},
        {"Maps", "com.apple.Maps", 0x8DDB7A, 0x3E9DF2, "M", false},
        {"Weather", "com.apple.weather", 0x5AC8FA, 0x1C6FD1, "W", false},
        {"Music", "com.apple.Music", 0xFF6B81, 0xFA2D48, "\u266A", false},
        {"Mail", "com.apple.mobilemail", 0x6CC4FF, 0x1A82F7, "@", false},
        {"Files", "com.apple.DocumentsApp", 0x69B7FF, 0x2F7CF6, "F", false},
        {"Phone", "com.apple.mobilephone", 0x6EE27A, 0x2DBE45, "T", true},
        {"Safari", "com.apple.mobilesafari", 0x6FC3FF, 0x1F6FEB, "S", true},
        {"Messages", "com.apple.MobileSMS", 0x7AF08A, 0x28C840, "\u2026", true},
        {"Reminders", "com.apple.reminders", 0xFFFFFF, 0xE5E5EA, "R", true},
    });
    return catalog;
}

std::string AppCatalog::normalizeName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (!std::isspace(u)) {
            out.push_back(static_cast<char>(std::tolower(u)));
        }
    }
    return out;
}

const AppInfo* AppCatalog::find(std::string_view query) const {
    const std::string wanted = normalizeName(query);
    if (wanted.empty()) {
        return nullptr;
    }
    for (const auto& app : apps_) {
        if (normalizeName(app.name) == wanted || normalizeName(app.bundleId) == wanted) {
            return &app;
        }
    }
    return nullptr;
}

const AppInfo* AppCatalog::findByBundleId(std::string_view bundleId) const {
    const auto index = indexOf(bundleId);
    return index ? &apps_[static_cast<size_t>(*index)] : nullptr;
}

std::optional<int> AppCatalog::indexOf(std::string_view bundleId) const {
    for (size_t i = 0; i < apps_.size(); ++i) {
        if (apps_[i].bundleId == bundleId) {
            return static_cast<int>(i);
        }
    }
    return std::nullopt;
}

} // namespace Engine
