#include "Engine/KeyboardLayout.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace Engine {

namespace {

struct KeyEntry {
    uint16_t usage;
    const char* plain;   // nullptr: prints nothing
    const char* shifted; // nullptr: prints nothing
};

// Keys that print the same on all three layouts.
constexpr std::array commonKeys = {
    KeyEntry{0x2C, " ", " "},
    KeyEntry{0x2B, "\t", "\t"},
};

// US: digits and their shifted symbols, and the punctuation pairs.
constexpr std::array usKeys = {
    KeyEntry{0x1E, "1", "!"},  KeyEntry{0x1F, "2", "@"},  KeyEntry{0x20, "3", "#"},   KeyEntry{0x21, "4", "$"},
    KeyEntry{0x22, "5", "%"},  KeyEntry{0x23, "6", "^"},  KeyEntry{0x24, "7", "&"},   KeyEntry{0x25, "8", "*"},
    KeyEntry{0x26, "9", "("},  KeyEntry{0x27, "0", ")"},  KeyEntry{0x2D, "-", "_"},   KeyEntry{0x2E, "=", "+"},
    KeyEntry{0x2F, "[", "{"},  KeyEntry{0x30, "]", "}"},  KeyEntry{0x31, "\\", "|"},  KeyEntry{0x33, ";", ":"},
    KeyEntry{0x34, "'", "\""}, KeyEntry{0x35, "`", "~"},  KeyEntry{0x36, ",", "<"},   KeyEntry{0x37, ".", ">"},
    KeyEntry{0x38, "/", "?"},  KeyEntry{0x64, "\\", "|"},
};

// French AZERTY: the number row prints accented letters and symbols, digits with shift. The key
// left of é prints "!" unshifted on this phone, where the desktop keyboards the application
// translates for expect it.
constexpr std::array frKeys = {
    KeyEntry{0x1E, "!", "1"},  KeyEntry{0x1F, "é", "2"},  KeyEntry{0x20, "\"", "3"}, KeyEntry{0x21, "'", "4"},
    KeyEntry{0x22, "(", "5"},  KeyEntry{0x23, "§", "6"},  KeyEntry{0x24, "è", "7"},  KeyEntry{0x25, "!", "8"},
    KeyEntry{0x26, "ç", "9"},  KeyEntry{0x27, "à", "0"},  KeyEntry{0x2D, ")", "°"},  KeyEntry{0x2E, "-", "_"},
    KeyEntry{0x30, "$", "*"},  KeyEntry{0x31, "`", "£"},  KeyEntry{0x34, "ù", "%"},  KeyEntry{0x32, "`", "£"},
    KeyEntry{0x10, ",", "?"},  KeyEntry{0x36, ";", "."},  KeyEntry{0x37, ":", "/"},  KeyEntry{0x38, "=", "+"},
    KeyEntry{0x64, "<", ">"},
};

// German QWERTZ: digits unshifted with their symbols shifted; the punctuation keys right of M.
constexpr std::array deKeys = {
    KeyEntry{0x1E, "1", "!"}, KeyEntry{0x1F, "2", "\""}, KeyEntry{0x20, "3", "§"}, KeyEntry{0x21, "4", "$"},
    KeyEntry{0x22, "5", "%"}, KeyEntry{0x23, "6", "&"},  KeyEntry{0x24, "7", "/"}, KeyEntry{0x25, "8", "("},
    KeyEntry{0x26, "9", ")"}, KeyEntry{0x27, "0", "="},  KeyEntry{0x2D, "-", "_"}, KeyEntry{0x2E, "´", "`"},
    KeyEntry{0x2F, "ü", "Ü"}, KeyEntry{0x30, "+", "*"},  KeyEntry{0x31, "#", "'"}, KeyEntry{0x32, "#", "'"},
    KeyEntry{0x33, "ö", "Ö"}, KeyEntry{0x34, "ä", "Ä"},  KeyEntry{0x35, "^", "°"}, KeyEntry{0x36, ",", ";"},
    KeyEntry{0x37, ".", ":"}, KeyEntry{0x38, "-", "_"},  KeyEntry{0x64, "<", ">"},
};

// Letters: usage 0x04 + index is the letter on a US keyboard; each layout moves a few.
char usLetter(uint16_t usage) {
    return static_cast<char>('a' + (usage - 0x04));
}

std::optional<char> letterFor(KeyboardLayoutKind kind, uint16_t usage) {
    if (kind == KeyboardLayoutKind::fr && usage == 0x33) {
        return 'm';
    }
    if (usage < 0x04 || usage > 0x1D) {
        return std::nullopt;
    }
    const char us = usLetter(usage);
    switch (kind) {
    case KeyboardLayoutKind::us:
        return us;
    case KeyboardLayoutKind::de:
        return us == 'y' ? 'z' : us == 'z' ? 'y' : us;
    case KeyboardLayoutKind::fr:
        switch (us) {
        case 'a':
            return 'q';
        case 'q':
            return 'a';
        case 'z':
            return 'w';
        case 'w':
            return 'z';
        case 'm':
            return std::nullopt; // the M usage prints "," on AZERTY, listed with the punctuation
        default:
            return us;
        }
    }
    return std::nullopt;
}

template <size_t N>
const KeyEntry* findKey(const std::array<KeyEntry, N>& keys, uint16_t usage) {
    const auto it = std::find_if(keys.begin(), keys.end(), [&](const KeyEntry& e) { return e.usage == usage; });
    return it == keys.end() ? nullptr : &*it;
}

} // namespace

const char* keyboardLayoutName(KeyboardLayoutKind kind) {
    switch (kind) {
    case KeyboardLayoutKind::fr:
        return "fr";
    case KeyboardLayoutKind::de:
        return "de";
    default:
        return "us";
    }
}

std::optional<KeyboardLayoutKind> parseKeyboardLayout(std::string_view text) {
    std::string t;
    for (char c : text) {
        if (!std::isspace(static_cast<unsigned char>(c))) {
            t.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
        }
    }
    if (t == "us") {
        return KeyboardLayoutKind::us;
    }
    if (t == "fr") {
        return KeyboardLayoutKind::fr;
    }
    if (t == "de") {
        return KeyboardLayoutKind::de;
    }
    return std::nullopt;
}

std::optional<std::string> KeyboardLayout::character(uint16_t usage, uint8_t mods) const {
    if ((mods & (KeyMods::control | KeyMods::command)) != 0) {
        return std::nullopt;
    }
    const bool shift = (mods & KeyMods::shift) != 0;
    if ((mods & KeyMods::option) != 0) {
        // Option is the third level: only the at sign is on it, on AZERTY's à key and QWERTZ's Q.
        if ((kind_ == KeyboardLayoutKind::fr && usage == 0x27) || (kind_ == KeyboardLayoutKind::de && usage == 0x14)) {
            return std::string("@");
        }
        return std::nullopt;
    }
    if (const auto letter = letterFor(kind_, usage)) {
        return std::string(1, shift ? static_cast<char>(std::toupper(*letter)) : *letter);
    }
    const KeyEntry* entry = findKey(commonKeys, usage);
    if (entry == nullptr) {
        switch (kind_) {
        case KeyboardLayoutKind::us:
            entry = findKey(usKeys, usage);
            break;
        case KeyboardLayoutKind::fr:
            entry = findKey(frKeys, usage);
            break;
        case KeyboardLayoutKind::de:
            entry = findKey(deKeys, usage);
            break;
        }
    }
    if (entry == nullptr) {
        return std::nullopt;
    }
    const char* text = shift ? entry->shifted : entry->plain;
    return text ? std::optional<std::string>(text) : std::nullopt;
}

} // namespace Engine
