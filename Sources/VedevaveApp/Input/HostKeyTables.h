// Host key codes to HID keyboard usages, for the `physical` layout, where keys are forwarded by
// position rather than by character. Two tables per host: letters, digits and punctuation, and the
// special keys (return, arrows, function keys...). Pure; any thread may call.
//
// Which table a platform uses: macOS reports virtual key codes (MacHID); Linux reports evdev key
// codes (LinuxHID; under X11 that is the native scan code Qt reports minus 8). `HostHID` names the
// table of the platform this is built for.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace VedevaveApp {

struct KeyCodeUsage {
    uint16_t keyCode = 0;
    uint16_t usage = 0;
};

namespace MacHID {
std::span<const KeyCodeUsage> letterDigitPunctuationTable();
std::span<const KeyCodeUsage> specialTable();
std::optional<uint16_t> letterDigitPunctuation(uint16_t keyCode);
std::optional<uint16_t> specialUsage(uint16_t keyCode);
} // namespace MacHID

namespace LinuxHID {
std::span<const KeyCodeUsage> letterDigitPunctuationTable();
std::span<const KeyCodeUsage> specialTable();
std::optional<uint16_t> letterDigitPunctuation(uint16_t keyCode);
std::optional<uint16_t> specialUsage(uint16_t keyCode);
} // namespace LinuxHID

#if defined(__APPLE__)
namespace HostHID = MacHID;
#else
namespace HostHID = LinuxHID;
#endif

} // namespace VedevaveApp
