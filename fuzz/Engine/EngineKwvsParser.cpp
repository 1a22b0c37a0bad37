// Fuzz target: the engine's decoder of what a KWVS/3 client sends (hello, acknowledgements).
#include "Engine/KwvsProtocol.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Engine::KwvsClientParser parser;
    std::vector<Engine::KwvsClientMessage> messages;
    size_t offset = 0;
    // Feed in pieces of 1 to 16 bytes, the sizes taken from the data itself.
    while (offset < size) {
        const size_t piece = std::min<size_t>(size - offset, 1 + data[offset] % 16);
        if (!parser.feed(std::span(data + offset, piece), messages)) {
            break;
        }
        offset += piece;
    }
    if (!messages.empty() && !std::holds_alternative<Engine::KwvsHello>(messages.front())) {
        std::abort(); // nothing may come before the hello
    }
    return 0;
}
