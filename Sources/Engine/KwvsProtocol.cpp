#include "Engine/KwvsProtocol.h"

#include <algorithm>
#include <cstring>

namespace Engine {

namespace {

void putU16(std::string& out, uint16_t v) {
    out.push_back(static_cast<char>(v & 0xff));
    out.push_back(static_cast<char>(v >> 8));
}

void putU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
    }
}

void putU64(std::string& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) {
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
    }
}

uint32_t readU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

uint64_t readU64(const uint8_t* p) {
    return static_cast<uint64_t>(readU32(p)) | (static_cast<uint64_t>(readU32(p + 4)) << 32);
}

} // namespace

std::string encodeKwvsBind(const KwvsBindInfo& info) {
    std::string out;
    out.reserve(1 + Kwvs::bindFixedSize + info.path.size());
    out.push_back(static_cast<char>(Kwvs::bind));
    out.append(Kwvs::magic, 4);                           // offset 0: magic
    putU16(out, static_cast<uint16_t>(Kwvs::version));    // offset 4: protocol version (not read by the app)
    putU16(out, info.slots);                              // offset 6
    putU32(out, info.bytesPerRow);                        // offset 8
    putU32(out, info.slotBytes);                          // offset 12
    putU16(out, info.width);                              // offset 16
    putU16(out, info.height);                             // offset 18
    putU32(out, info.headerBytes);                        // offset 20
    putU16(out, static_cast<uint16_t>(info.path.size())); // offset 24
    out += info.path;
    return out;
}

std::string encodeKwvsFrame(uint32_t seq, uint16_t slot, uint64_t producedNs) {
    std::string out;
    out.reserve(Kwvs::frameSize);
    out.push_back(static_cast<char>(Kwvs::frame));
    putU32(out, seq);
    putU16(out, slot);
    putU64(out, producedNs);
    return out;
}

std::string encodeKwvsHello(uint32_t version) {
    std::string out;
    out.push_back(static_cast<char>(Kwvs::hello));
    out.append(Kwvs::magic, 4);
    putU32(out, version);
    return out;
}

std::string encodeKwvsAck(uint32_t seq, uint64_t displayedNs) {
    std::string out;
    out.push_back(static_cast<char>(Kwvs::acknowledge));
    putU32(out, seq);
    putU64(out, displayedNs);
    return out;
}

bool KwvsClientParser::fail(std::string why) {
    failed_ = true;
    failure_ = std::move(why);
    buffer_.clear();
    return false;
}

bool KwvsClientParser::feed(std::span<const uint8_t> bytes, std::vector<KwvsClientMessage>& out) {
    if (failed_) {
        return false;
    }
    buffer_.append(bytes);
    while (!buffer_.empty()) {
        const uint8_t* p = buffer_.data();
        const size_t available = buffer_.size();
        if (!sawHello_) {
            if (p[0] != Kwvs::hello) {
                return fail("expected hello (0x01), got kind " + std::to_string(p[0]));
            }
            // Check the magic as soon as its bytes are here, so garbage fails early.
            const size_t magicBytes = std::min<size_t>(available - 1, 4);
            if (std::memcmp(p + 1, Kwvs::magic, magicBytes) != 0) {
                return fail("hello with a wrong magic");
            }
            if (available < Kwvs::helloSize) {
                break;
            }
            const uint32_t version = readU32(p + 5);
            if (version != Kwvs::version) {
                return fail("hello with unsupported version " + std::to_string(version));
            }
            sawHello_ = true;
            out.push_back(KwvsHello{});
            buffer_.consume(Kwvs::helloSize);
            continue;
        }
        if (p[0] != Kwvs::acknowledge) {
            return fail("unexpected kind " + std::to_string(p[0]) + " after hello");
        }
        if (available < Kwvs::acknowledgeSize) {
            break;
        }
        out.push_back(KwvsAck{readU32(p + 1), readU64(p + 5)});
        buffer_.consume(Kwvs::acknowledgeSize);
    }
    return true;
}

} // namespace Engine
