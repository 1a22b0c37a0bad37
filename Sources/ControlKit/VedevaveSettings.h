// The program's persistent user settings: reads go to the environment first (for the settings the
// engine and the capture path also consume) and then to the preference store. Stateless apart from
// the record of what this process exported itself. Any thread may read; `applyToEnvironment` and
// the setters run on the main thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ControlKit {

enum class KeyboardMode { automatic, fr, us, de, physical };
enum class LandscapeHome { automatic, left, buffer };
enum class FrameRate { automatic, fps60, fps120 };

namespace VedevaveSettings {

namespace Keys {
inline constexpr const char* captureFPS = "vedevave.captureFPS";
inline constexpr const char* keyboardPhone = "vedevave.keyboardPhone";
inline constexpr const char* landscapeHome = "vedevave.landscapeHome";
inline constexpr const char* didShowFirstHints = "vedevave.didShowFirstHints";
inline constexpr const char* setupChecklistSeen = "vedevave.setupChecklistSeen";
inline constexpr const char* permissionsGateCompleted = "vedevave.permissionsGateCompleted";
inline constexpr const char* showTouches = "vedevave.showTouches";
inline constexpr const char* didAskCamera = "vedevave.didAskCamera";
} // namespace Keys

// Cases in menu order.
inline constexpr std::array<KeyboardMode, 5> allKeyboardModes{KeyboardMode::automatic, KeyboardMode::fr,
                                                               KeyboardMode::us, KeyboardMode::de,
                                                               KeyboardMode::physical};
inline constexpr std::array<LandscapeHome, 3> allLandscapeHomes{LandscapeHome::automatic, LandscapeHome::left,
                                                                LandscapeHome::buffer};
inline constexpr std::array<FrameRate, 3> allFrameRates{FrameRate::automatic, FrameRate::fps60,
                                                        FrameRate::fps120};

std::string rawValue(KeyboardMode mode);
std::string title(KeyboardMode mode);
std::optional<KeyboardMode> keyboardModeFromRaw(std::string_view raw);
std::string rawValue(LandscapeHome home);
std::string title(LandscapeHome home);
std::optional<LandscapeHome> landscapeHomeFromRaw(std::string_view raw);
int rawValue(FrameRate rate);
std::string title(FrameRate rate);
int resolvedFPS(FrameRate rate);
std::optional<FrameRate> frameRateFromRaw(int64_t raw);

FrameRate frameRate();
void setFrameRate(FrameRate rate);
// The effective capture rate, 1 to 240.
int captureFPS();

KeyboardMode keyboardMode();
void setKeyboardMode(KeyboardMode mode);

LandscapeHome landscapeHome();
void setLandscapeHome(LandscapeHome home);

bool didShowFirstHints();
void setDidShowFirstHints(bool value);
bool setupChecklistSeen();
void setSetupChecklistSeen(bool value);
bool permissionsGateCompleted();
void setPermissionsGateCompleted(bool value);
bool showTouches();
void setShowTouches(bool value);

// Exports the effective capture rate, keyboard mode and landscape choice so that engines started
// later inherit them.
void applyToEnvironment();

// Forgets which variables this process exported (tests only).
void resetExportRecordForTesting();

} // namespace VedevaveSettings
} // namespace ControlKit
