#include "Engine/InputDispatcher.h"

#include "Engine/EngineClock.h"

namespace Engine {

void InputDispatcher::apply(const HidMessage& message, InputSource source) {
    model_.advance(monotonicRawNs());
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
                debug_.recordKey(m, source);
                model_.key(m.down, m.usage, m.mods);
            } else if constexpr (std::is_same_v<T, HidInstant>) {
                debug_.recordInstant(m.hard, source);
            } else if constexpr (std::is_same_v<T, HidMusicSafe>) {
                debug_.recordMusicSafe(m.on, source);
            } else {
                debug_.recordKeyboardReset(source);
                model_.keyboardReset();
            }
        },
        message);
}

} // namespace Engine
