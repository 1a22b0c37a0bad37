#include "VedevaveApp/Input/MirrorKeyInput.h"

#include "VedevaveApp/Input/HostKeyTables.h"

#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace VedevaveApp {

namespace KT = ControlKit::KeyboardTranslator;

namespace {

// Only control and command travel with a translated character; shift and option are part of what
// the character itself says.
constexpr uint8_t characterHostModifiers = 0xAA;

bool isControlScalar(UChar32 c) {
    const auto category = u_charType(c);
    return category == U_CONTROL_CHAR || category == U_FORMAT_CHAR;
}

// Whether any (or every) scalar of `character` is a control character (categories Cc and Cf).
bool hasControlScalar(std::string_view character, bool mustAllBeControl) {
    const auto text = icu::UnicodeString::fromUTF8(
        icu::StringPiece(character.data(), static_cast<int32_t>(character.size())));
    bool any = false;
    bool all = true;
    for (int32_t i = 0; i < text.length(); i = text.moveIndex32(i, 1)) {
        const bool isControl = isControlScalar(text.char32At(i));
        any = any || isControl;
        all = all && isControl;
    }
    return mustAllBeControl ? all : any;
}

bool isTabOrLineBreak(std::string_view character) {
    return character == "\t" || character == "\r" || character == "\n" || character == "\r\n";
}

} // namespace

MirrorKeyInput::MirrorKeyInput(ControlKit::ControlClientInterface& control, MirrorInputHost& host,
                               InputRecorder* recorder, std::function<bool()> manualControlAllowed,
                               std::function<ControlKit::PhoneLayout()> phoneLayout)
    : control_(control), host_(host), recorder_(recorder),
      manualControlAllowed_(std::move(manualControlAllowed)),
      phoneLayout_(phoneLayout ? std::move(phoneLayout)
                               : std::function<ControlKit::PhoneLayout()>(KT::phoneLayout)) {}

void MirrorKeyInput::keyDown(const MirrorKeyEvent& event) {
    if (event.isRepeat) {
        return;
    }
    if (manualControlAllowed_ && !manualControlAllowed_()) {
        host_.beep();
        return;
    }
    const uint8_t hostMods = event.modifiers & 0x0F;
    const auto layout = phoneLayout_();

    if (layout == ControlKit::PhoneLayout::physical) {
        auto usage = HostHID::letterDigitPunctuation(event.keyCode);
        if (!usage) {
            usage = HostHID::specialUsage(event.keyCode);
        }
        if (!usage) {
            return;
        }
        pressKey(event.keyCode, {*usage, "", hostMods});
        const std::string character = KT::firstCharacter(event.charactersIgnoringModifiers);
        if (!character.empty() && !hasControlScalar(character, false)) {
            if (recorder_) {
                recorder_->typed(character);
            }
        } else {
            recordKey(*usage, hostMods);
        }
        return;
    }

    const std::string character =
        KT::firstCharacter(event.characters.empty() ? event.charactersIgnoringModifiers : event.characters);
    const bool isTabOrReturn = isTabOrLineBreak(character);
    if (character.empty() || (hasControlScalar(character, true) && !isTabOrReturn)) {
        // Arrows, escape, delete, function keys: by key code.
        const auto usage = HostHID::specialUsage(event.keyCode);
        if (!usage) {
            return;
        }
        pressKey(event.keyCode, {*usage, "", hostMods});
        recordKey(*usage, hostMods);
        return;
    }

    if (const auto chord = KT::resolve(character, hostMods & characterHostModifiers, layout)) {
        pressKey(event.keyCode, {chord->usage, "", chord->mods});
        if (isTabOrReturn) {
            recordKey(chord->usage, chord->mods);
        } else if (recorder_) {
            recorder_->typed(character);
        }
        return;
    }

    if (!KT::pasteUnmapped() || isTabOrReturn) {
        return; // no key can type it and the clipboard may not be used
    }
    if (pasteThroughClipboard(character) && recorder_) {
        recorder_->typed(character);
    }
}

void MirrorKeyInput::keyUp(const MirrorKeyEvent& event) {
    if (event.isRepeat) {
        return;
    }
    const auto held = keysDown_.find(event.keyCode);
    if (held == keysDown_.end()) {
        return;
    }
    const HeldKey key = std::move(held->second);
    keysDown_.erase(held);
    control_.key(false, key.usage, key.character, key.mods);
}

void MirrorKeyInput::focusLost() {
    keysDown_.clear();
    control_.keyboardReset();
}

void MirrorKeyInput::releaseHeldKeys() {
    if (!keysDown_.empty()) {
        keysDown_.clear();
        control_.keyboardReset();
    }
}

bool MirrorKeyInput::pasteThroughClipboard(std::string_view text) {
    const auto chords = KT::pasteChords(text);
    if (chords.empty()) {
        return false;
    }
    for (const auto& chord : chords) {
        control_.key(true, chord.usage, "", chord.mods);
        control_.key(false, chord.usage, "", chord.mods);
    }
    control_.keyboardReset();
    return true;
}

void MirrorKeyInput::pressKey(uint16_t keyCode, HeldKey held) {
    control_.key(true, held.usage, held.character, held.mods);
    keysDown_[keyCode] = std::move(held);
}

void MirrorKeyInput::recordKey(uint16_t usage, uint8_t mods) {
    if (recorder_ && recorder_->isRecording()) {
        recorder_->recordKey(usage, mods);
    }
}

} // namespace VedevaveApp
