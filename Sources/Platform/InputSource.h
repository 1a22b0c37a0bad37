// What the host says about the user's language and keyboard, for guessing the phone's keyboard
// layout. Any thread may call.
//
// Keyboard input sources are named "xkb:<layout>" or "xkb:<layout>(<variant>)" after the X
// keyboard map's first (primary) group, e.g. "xkb:fr", "xkb:ch(fr)", "xkb:us(dvorak)".
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace Platform {

// The user's first preferred language as a tag such as "fr-FR", or absent. Looked up in LANGUAGE
// (its first entry), LC_ALL, LC_MESSAGES and LANG, in that order; the C and POSIX locales name no
// language.
std::optional<std::string> firstPreferredLanguage();

// The identifier of the current keyboard input source, or "" when none can be found. Asked, first
// answer wins: XKB_DEFAULT_LAYOUT (with XKB_DEFAULT_VARIANT), `setxkbmap -query` when a display
// exists, then the system keyboard configuration /etc/default/keyboard. The answer of setxkbmap is
// kept for one second, so that callers can ask once per key press without starting a process each
// time.
std::string currentInputSourceID();

// Pure pieces of the above, for tests.
using EnvironmentLookup = std::function<std::optional<std::string>(const char* name)>;
std::optional<std::string> preferredLanguageFrom(const EnvironmentLookup& environment);
// "fr,us" and ",dvorak" give "xkb:fr"; "de" and "nodeadkeys" give "xkb:de(nodeadkeys)"; "" gives "".
std::string xkbInputSourceID(std::string_view layouts, std::string_view variants);
// Reads the "layout:" and "variant:" lines of `setxkbmap -query`.
std::string inputSourceIDFromSetxkbmapQuery(std::string_view output);
// Reads XKBLAYOUT= and XKBVARIANT= of a keyboard configuration file (shell syntax, quotes optional).
std::string inputSourceIDFromKeyboardConfiguration(std::string_view contents);

} // namespace Platform
