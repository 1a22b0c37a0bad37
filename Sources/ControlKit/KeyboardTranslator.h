// Turns typed characters into the HID key presses that produce them on the phone. The phone prints
// what its own hardware-keyboard layout says, which the host cannot query, so this keeps a small
// model of that layout (`PhoneLayout`), folds characters without a key to an ASCII look-alike and
// offers the clipboard for what still cannot be typed.
//
// A namespace of operations over immutable tables; the tables are built once, on first use, from any
// thread. The operations that read the layout are meant for the main thread (key events, playback).
#pragma once

#include "ControlKit/ControlClientInterface.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace ControlKit {

// One key press to send: the usage, the single character it stands for after folding, and the
// modifier mask (shift 0x01, control 0x02, option 0x04, command 0x08).
struct Chord {
    uint16_t usage = 0;
    std::string token;
    uint8_t mods = 0;

    bool operator==(const Chord&) const = default;
};

// The phone's hardware-keyboard layout. Under `physical` keys are forwarded by position, not by
// character.
enum class PhoneLayout { physical, us, fr, de };

std::string_view rawValue(PhoneLayout layout);
// "physical", "us", "fr" or "de"; any other text gives absent.
std::optional<PhoneLayout> phoneLayoutFromRawValue(std::string_view raw);

namespace KeyboardTranslator {

struct KeyEntry {
    uint16_t usage = 0;
    bool isShifted = false;
};
// Keyed by one character (UTF-8).
using CharacterTable = std::unordered_map<std::string, KeyEntry>;
using CompatibilityTable = std::unordered_map<std::string, std::string>;

const CharacterTable& asciiToHID_US();
const CharacterTable& asciiToHID_FR();
const CharacterTable& asciiToHID_DE();
const CompatibilityTable& compat();

// The layout in force now: the keyboard mode ("auto" runs detection), read afresh on every call. The
// first call of the process writes one diagnostic line naming the layout and what it was based on.
PhoneLayout phoneLayout();

// Where the keyboard mode comes from: a function returning its raw value ("auto", "fr", "us", "de",
// "physical"; anything else counts as "auto"). By default (and after setting an empty function) it is
// the settings' effective keyboard mode; tests install their own.
void setKeyboardModeSource(std::function<std::string()> source);

// The layout a keyboard mode selects; "auto" (and unknown text) ask `detect`.
PhoneLayout layoutForMode(std::string_view keyboardMode, const std::function<PhoneLayout()>& detect);

// Automatic detection from the first preferred language (a tag such as "fr-FR") and the identifier of
// the host's keyboard input source. Understands macOS identifiers ("com.apple.keylayout.French") and
// the X keyboard map's ("xkb:fr", "xkb:ch(de)", see Platform/InputSource.h).
PhoneLayout resolveAuto(std::optional<std::string_view> firstLanguage, std::string_view inputSourceID);
bool isAZERTY(std::string_view lowercasedInputSourceID);
bool isQWERTYFamily(std::string_view lowercasedInputSourceID);

// The chord for the first character of `text` on the current layout (or on `layout`), or absent.
// `hostMods` carries the host modifiers the character does not express itself: callers pass the
// control and command bits (the host mask AND 0xAA), or 0.
std::optional<Chord> resolve(std::string_view text, uint8_t hostMods);
std::optional<Chord> resolve(std::string_view text, uint8_t hostMods, PhoneLayout layout);

// The ASCII look-alike of the first character of `text`: at most one character, empty when there is
// none. Never fails, whatever the bytes (invalid UTF-8 reads as replacement characters).
std::string fold(std::string_view text);

// Puts `text` on the host's general clipboard and returns the chords that paste it on the phone
// (command+V). Returns no chords, after logging why, when the clipboard could not take the text:
// pasting then would deliver whatever the clipboard held before.
std::vector<Chord> pasteChords(std::string_view text);

// Whether characters that `resolve` cannot translate go through the clipboard (VEDEVAVE_KB_PASTE,
// read on every call; only "0", "off", "false" and "no" turn it off).
bool pasteUnmapped();

// The first user-perceived character (grapheme cluster) of `text`, in UTF-8; empty for empty text.
std::string firstCharacter(std::string_view text);
// The number of user-perceived characters of `text`.
std::size_t characterCount(std::string_view text);

// The line that `phoneLayout` writes once per process.
std::string layoutLogLine(PhoneLayout layout, std::string_view kbPhoneVariable,
                          std::string_view inputSourceID, std::optional<std::string_view> firstLanguage);

} // namespace KeyboardTranslator
} // namespace ControlKit
