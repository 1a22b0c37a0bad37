// Arbitrary bytes as typed text: folding, resolving on every layout and counting characters must
// never crash, and whatever they return must hold their promises.
#include "ControlKit/KeyboardTranslator.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ControlKit;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const std::string folded = KeyboardTranslator::fold(text);
    if (folded.size() > 2 || (folded.size() == 2 && folded != "\r\n")) {
        std::abort(); // at most one ASCII character
    }
    for (auto layout : {PhoneLayout::us, PhoneLayout::fr, PhoneLayout::de, PhoneLayout::physical}) {
        if (auto chord = KeyboardTranslator::resolve(text, static_cast<uint8_t>(size), layout)) {
            if (layout == PhoneLayout::physical || chord->token != folded) {
                std::abort();
            }
        }
    }
    const std::string first = KeyboardTranslator::firstCharacter(text);
    if (!text.empty() && KeyboardTranslator::characterCount(text) == 0) {
        std::abort();
    }
    (void)first;
    return 0;
}
