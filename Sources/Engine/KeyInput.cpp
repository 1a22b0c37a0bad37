#include "Engine/KeyInput.h"

namespace Engine {

namespace {

// Left and right control, shift, option, command (0xE0..0xE7) as modifier bits.
uint8_t modifierBit(uint16_t usage) {
    switch (usage) {
    case 0xE0:
    case 0xE4:
        return KeyMods::control;
    case 0xE1:
    case 0xE5:
        return KeyMods::shift;
    case 0xE2:
    case 0xE6:
        return KeyMods::option;
    case 0xE3:
    case 0xE7:
        return KeyMods::command;
    default:
        return 0;
    }
}

// The keypad prints the same on every layout.
std::optional<std::string> keypadText(uint16_t usage) {
    static const char* const keypad[] = {"/", "*", "-", "+", nullptr, "1", "2", "3", "4", "5",
                                         "6", "7", "8", "9", "0", "."};
    if (usage >= 0x54 && usage <= 0x63 && keypad[usage - 0x54] != nullptr) {
        return std::string(keypad[usage - 0x54]);
    }
    return std::nullopt;
}

} // namespace

uint8_t KeyInput::heldModifiers() const {
    uint8_t mask = 0;
    for (uint16_t usage : held_) {
        mask |= modifierBit(usage);
    }
    return mask;
}

KeyCommand KeyInput::key(bool down, uint16_t usage, uint8_t mods) {
    if (!down) {
        held_.erase(usage);
        return {};
    }
    held_.insert(usage);
    if (modifierBit(usage) != 0) {
        return {};
    }
    const uint8_t allMods = mods | heldModifiers();
    using Kind = KeyCommand::Kind;
    const bool command = (allMods & KeyMods::command) != 0;
    if (command && usage == KeyUsage::v) {
        return {Kind::paste, {}};
    }
    if (command && usage == KeyUsage::space) {
        return {Kind::spotlight, {}};
    }
    switch (usage) {
    case KeyUsage::returnKey:
    case KeyUsage::keypadEnter:
        return {Kind::returnKey, {}};
    case KeyUsage::escape:
        return {Kind::escape, {}};
    case KeyUsage::backspace:
        return {Kind::backspace, {}};
    case KeyUsage::deleteForward:
        return {Kind::deleteForward, {}};
    case KeyUsage::clear:
        return {Kind::clear, {}};
    case KeyUsage::left:
        return {Kind::left, {}};
    case KeyUsage::right:
        return {Kind::right, {}};
    case KeyUsage::up:
    case KeyUsage::home:
        return {Kind::start, {}};
    case KeyUsage::down:
    case KeyUsage::end:
        return {Kind::end, {}};
    default:
        break;
    }
    if ((allMods & (KeyMods::command | KeyMods::control)) != 0) {
        return {}; // shortcuts the phone does not know print nothing
    }
    if (auto text = keypadText(usage)) {
        return {Kind::text, *text};
    }
    if (auto text = layout_.character(usage, allMods)) {
        return {Kind::text, *text};
    }
    return {};
}

} // namespace Engine
