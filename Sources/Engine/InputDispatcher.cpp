#include "Engine/InputDispatcher.h"

#include "Engine/EngineClock.h"

namespace Engine {

void InputDispatcher::apply(const HidMessage& message, InputSource source) {
    std::visit(
        [&](const auto& m) {
            using T = std::decay_t<decltype(m)>;
            if constexpr (std::is_same_v<T, HidTouch>) {
                debug_.recordTouch(m, source);
                model_.touch(m.contact, m.x, m.y, monotonicRawNs());
            } else if constexpr (std::is_same_v<T, HidButton>) {
                debug_.recordButton(m, source);
                model_.button(m.name, m.pressed);
            } else if constexpr (std::is_same_v<T, HidKey>) {
                // Typing into a focused field arrives with the next issue's keyboard.
                debug_.recordKey(m, source);
            } else if constexpr (std::is_same_v<T, HidInstant>) {
                debug_.recordInstant(m.hard, source);
            } else if constexpr (std::is_same_v<T, HidMusicSafe>) {
                debug_.recordMusicSafe(m.on, source);
            } else {
                debug_.recordKeyboardReset(source);
            }
        },
        message);
}

} // namespace Engine
