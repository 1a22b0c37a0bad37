// Pure codec of the KWVS/3 video socket protocol, engine side: decodes what the
// application sends (hello, acknowledgements) and encodes what the engine sends (bind, frame).
// No sockets. Single-threaded; one KwvsClientParser per connection.
#pragma once

#include "Engine/StreamBuffer.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace Engine {

namespace Kwvs {
inline constexpr char magic[4] = {'K', 'W', 'V', '3'};
inline constexpr uint32_t version = 3;
inline constexpr uint8_t hello = 0x01;
inline constexpr uint8_t bind = 0x11;
inline constexpr uint8_t frame = 0x20;
inline constexpr uint8_t acknowledge = 0x30;
inline constexpr size_t helloSize = 1 + 4 + 4;
inline constexpr size_t acknowledgeSize = 1 + 4 + 8;
inline constexpr size_t bindFixedSize = 26;
inline constexpr size_t frameSize = 1 + 4 + 2 + 8;
} // namespace Kwvs

struct KwvsHello {
    bool operator==(const KwvsHello&) const = default;
};

struct KwvsAck {
    uint32_t seq = 0;
    uint64_t displayedNs = 0; // the application echoes the notice's producedNs here
    bool operator==(const KwvsAck&) const = default;
};

using KwvsClientMessage = std::variant<KwvsHello, KwvsAck>;

// The ring geometry announced by a bind.
struct KwvsBindInfo {
    uint16_t slots = 0;
    uint32_t bytesPerRow = 0;
    uint32_t slotBytes = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint32_t headerBytes = 0;
    std::string path; // empty when the ring travels as a descriptor
};

// The bind message: kind byte, 26-byte fixed part, path bytes. Offset 4 of the fixed part carries
// the protocol version (3); the application ignores it.
std::string encodeKwvsBind(const KwvsBindInfo& info);
// The 15-byte frame notice.
std::string encodeKwvsFrame(uint32_t seq, uint16_t slot, uint64_t producedNs);
// What the application writes; used by tests, benchmarks and fuzz seeds.
std::string encodeKwvsHello(uint32_t version = Kwvs::version);
std::string encodeKwvsAck(uint32_t seq, uint64_t displayedNs);

// Decodes the application's stream: one hello first (magic "KWV3", version 3), then
// acknowledgements. Anything else — another kind byte, a wrong magic or version, a second hello —
// fails the parser for good and the engine closes the connection.
class KwvsClientParser {
public:
    bool feed(std::span<const uint8_t> bytes, std::vector<KwvsClientMessage>& out);
    bool hasFailed() const { return failed_; }
    const std::string& failure() const { return failure_; }
    bool hasHello() const { return sawHello_; }

private:
    bool fail(std::string why);

    StreamBuffer buffer_;
    bool sawHello_ = false;
    bool failed_ = false;
    std::string failure_;
};

} // namespace Engine
