#include "ControlKit/VedevaveSettings.h"

#include "Platform/Environment.h"
#include "Platform/PreferenceStore.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>
#include <mutex>

namespace ControlKit::VedevaveSettings {

namespace {

using Platform::PreferenceStore;

constexpr const char* captureFPSVariable = "VEDEVAVE_CAPTURE_FPS";
constexpr const char* keyboardVariable = "VEDEVAVE_KB_PHONE";
constexpr const char* landscapeVariable = "VEDEVAVE_LANDSCAPE";
constexpr const char* orientVariable = "VEDEVAVE_HID_ORIENT";

// A variable that this process exported itself must not hide a choice saved later in the same run,
// while a variable the user set before launch keeps overriding the saved choice. So reads skip a
// variable whose current value is exactly what `applyToEnvironment` wrote, unless the variable
// already decided the setting before the first export.
struct ExportRecord {
    std::mutex mutex;
    bool didCaptureLaunchValues = false;
    std::map<std::string, bool> decidedAtLaunch; // name -> the launch value overrode the store
    std::map<std::string, std::string> exported; // what we wrote last
};

ExportRecord& exportRecord() {
    static ExportRecord record;
    return record;
}

std::string trimmed(std::string_view text) {
    auto isSpace = [](unsigned char c) { return std::isspace(c) != 0; };
    while (!text.empty() && isSpace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// The variable's value unless it is only our own earlier export.
std::optional<std::string> userEnvironment(const char* name) {
    auto value = Platform::Environment::get(name);
    if (!value) {
        return std::nullopt;
    }
    auto& record = exportRecord();
    std::lock_guard lock(record.mutex);
    auto ours = record.exported.find(name);
    if (ours != record.exported.end() && ours->second == *value && !record.decidedAtLaunch[name]) {
        return std::nullopt;
    }
    return value;
}

void exportVariable(const char* name, const std::string& value) {
    Platform::Environment::set(name, value);
    auto& record = exportRecord();
    std::lock_guard lock(record.mutex);
    record.exported[name] = value;
}

void removeVariable(const char* name) {
    Platform::Environment::unset(name);
    auto& record = exportRecord();
    std::lock_guard lock(record.mutex);
    record.exported.erase(name);
}

std::optional<int> parsedFPS(const std::string& value) {
    const std::string text = trimmed(value);
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    if (begin != end && *begin == '+') {
        ++begin;
    }
    long long parsed = 0;
    auto [stop, error] = std::from_chars(begin, end, parsed);
    if (error != std::errc() || stop != end || begin == end || parsed <= 0) {
        return std::nullopt;
    }
    return static_cast<int>(std::min<long long>(parsed, 240));
}

bool isOrientOff(const std::string& value) {
    const std::string text = lowered(trimmed(value));
    return text == "buffer" || text == "off" || text == "0";
}

// Whether a value of this variable takes precedence over the stored choice.
bool isDecisive(const std::string& name, const std::string& value) {
    if (name == captureFPSVariable) {
        return parsedFPS(value).has_value();
    }
    if (name == orientVariable) {
        return isOrientOff(value);
    }
    return !trimmed(value).empty();
}

void captureLaunchValuesOnce() {
    auto& record = exportRecord();
    std::lock_guard lock(record.mutex);
    if (record.didCaptureLaunchValues) {
        return;
    }
    record.didCaptureLaunchValues = true;
    for (const char* name : {captureFPSVariable, keyboardVariable, landscapeVariable, orientVariable}) {
        auto value = Platform::Environment::get(name);
        record.decidedAtLaunch[name] = value && isDecisive(name, *value);
    }
}

bool flag(const char* key, bool fallback) {
    return PreferenceStore::shared().boolValue(key).value_or(fallback);
}

void setFlag(const char* key, bool value) { PreferenceStore::shared().setValue(key, value); }

} // namespace

std::string rawValue(KeyboardMode mode) {
    switch (mode) {
    case KeyboardMode::automatic: return "auto";
    case KeyboardMode::fr: return "fr";
    case KeyboardMode::us: return "us";
    case KeyboardMode::de: return "de";
    case KeyboardMode::physical: return "physical";
    }
    return "auto";
}

std::string title(KeyboardMode mode) {
    switch (mode) {
    case KeyboardMode::automatic: return "Detect automatically";
    case KeyboardMode::fr: return "French AZERTY";
    case KeyboardMode::us: return "US / IT / ES QWERTY";
    case KeyboardMode::de: return "German QWERTZ";
    case KeyboardMode::physical: return "Match Mac keys";
    }
    return "";
}

std::optional<KeyboardMode> keyboardModeFromRaw(std::string_view raw) {
    for (KeyboardMode mode : allKeyboardModes) {
        if (rawValue(mode) == raw) {
            return mode;
        }
    }
    return std::nullopt;
}

std::string rawValue(LandscapeHome home) {
    switch (home) {
    case LandscapeHome::automatic: return "right";
    case LandscapeHome::left: return "left";
    case LandscapeHome::buffer: return "buffer";
    }
    return "right";
}

std::string title(LandscapeHome home) {
    switch (home) {
    case LandscapeHome::automatic: return "Automatic";
    case LandscapeHome::left: return "Home on left";
    case LandscapeHome::buffer: return "No remap (debug)";
    }
    return "";
}

std::optional<LandscapeHome> landscapeHomeFromRaw(std::string_view raw) {
    for (LandscapeHome home : allLandscapeHomes) {
        if (rawValue(home) == raw) {
            return home;
        }
    }
    return std::nullopt;
}

int rawValue(FrameRate rate) {
    switch (rate) {
    case FrameRate::automatic: return 0;
    case FrameRate::fps60: return 60;
    case FrameRate::fps120: return 120;
    }
    return 0;
}

std::string title(FrameRate rate) {
    switch (rate) {
    case FrameRate::automatic: return "Automatic (120)";
    case FrameRate::fps60: return "60 fps";
    case FrameRate::fps120: return "120 fps";
    }
    return "";
}

int resolvedFPS(FrameRate rate) { return rate == FrameRate::fps60 ? 60 : 120; }

std::optional<FrameRate> frameRateFromRaw(int64_t raw) {
    for (FrameRate rate : allFrameRates) {
        if (rawValue(rate) == raw) {
            return rate;
        }
    }
    return std::nullopt;
}

FrameRate frameRate() {
    auto stored = PreferenceStore::shared().integerValue(Keys::captureFPS);
    if (stored == 120) {
        return FrameRate::fps120;
    }
    if (stored == 60) {
        return FrameRate::fps60;
    }
    return FrameRate::automatic;
}

void setFrameRate(FrameRate rate) { PreferenceStore::shared().setValue(Keys::captureFPS, rawValue(rate)); }

int captureFPS() {
    if (auto value = userEnvironment(captureFPSVariable)) {
        if (auto fps = parsedFPS(*value)) {
            return *fps;
        }
    }
    return resolvedFPS(frameRate());
}

KeyboardMode keyboardMode() {
    if (auto value = userEnvironment(keyboardVariable)) {
        const std::string text = lowered(trimmed(*value));
        if (!text.empty()) {
            if (auto mode = keyboardModeFromRaw(text)) {
                return *mode;
            }
            if (text == "en" || text == "english") {
                return KeyboardMode::us;
            }
            return KeyboardMode::automatic;
        }
    }
    auto stored = PreferenceStore::shared().stringValue(Keys::keyboardPhone);
    return stored ? keyboardModeFromRaw(*stored).value_or(KeyboardMode::automatic) : KeyboardMode::automatic;
}

void setKeyboardMode(KeyboardMode mode) { PreferenceStore::shared().setValue(Keys::keyboardPhone, rawValue(mode)); }

LandscapeHome landscapeHome() {
    if (auto value = userEnvironment(landscapeVariable)) {
        const std::string text = lowered(trimmed(*value));
        if (!text.empty()) {
            if (text == "left" || text == "homeleft") {
                return LandscapeHome::left;
            }
            if (text == "buffer") {
                return LandscapeHome::buffer;
            }
            return LandscapeHome::automatic;
        }
    }
    if (auto value = userEnvironment(orientVariable); value && isOrientOff(*value)) {
        return LandscapeHome::buffer;
    }
    const std::string stored = PreferenceStore::shared().stringValue(Keys::landscapeHome).value_or("right");
    if (stored == "left") {
        return LandscapeHome::left;
    }
    if (stored == "buffer") {
        return LandscapeHome::buffer;
    }
    return LandscapeHome::automatic;
}

void setLandscapeHome(LandscapeHome home) {
    PreferenceStore::shared().setValue(Keys::landscapeHome, rawValue(home));
}

bool didShowFirstHints() { return flag(Keys::didShowFirstHints, false); }
void setDidShowFirstHints(bool value) { setFlag(Keys::didShowFirstHints, value); }
bool setupChecklistSeen() { return flag(Keys::setupChecklistSeen, false); }
void setSetupChecklistSeen(bool value) { setFlag(Keys::setupChecklistSeen, value); }
bool permissionsGateCompleted() { return flag(Keys::permissionsGateCompleted, false); }
void setPermissionsGateCompleted(bool value) { setFlag(Keys::permissionsGateCompleted, value); }
bool showTouches() { return flag(Keys::showTouches, true); }
void setShowTouches(bool value) { setFlag(Keys::showTouches, value); }

void applyToEnvironment() {
    captureLaunchValuesOnce();
    exportVariable(captureFPSVariable, std::to_string(captureFPS()));
    exportVariable(keyboardVariable, rawValue(keyboardMode()));
    switch (landscapeHome()) {
    case LandscapeHome::automatic:
        exportVariable(landscapeVariable, "right");
        removeVariable(orientVariable);
        break;
    case LandscapeHome::left:
        exportVariable(landscapeVariable, "left");
        removeVariable(orientVariable);
        break;
    case LandscapeHome::buffer:
        exportVariable(orientVariable, "buffer");
        break;
    }
}

void resetExportRecordForTesting() {
    auto& record = exportRecord();
    std::lock_guard lock(record.mutex);
    record.didCaptureLaunchValues = false;
    record.decidedAtLaunch.clear();
    record.exported.clear();
}

} // namespace ControlKit::VedevaveSettings
