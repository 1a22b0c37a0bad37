#include "VedevaveApp/Providers/ProviderUUID.h"

#include <random>

namespace VedevaveApp {

namespace {
constexpr bool isDash(size_t position) {
    return position == 8 || position == 13 || position == 18 || position == 23;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}
} // namespace

ProviderUUID ProviderUUID::random() {
    // random_device reads the kernel's generator here; a profile id must not repeat across runs.
    static thread_local std::random_device device;
    ProviderUUID uuid;
    for (size_t i = 0; i < uuid.bytes.size(); i += 4) {
        const uint32_t word = device();
        for (size_t j = 0; j < 4; ++j) {
            uuid.bytes[i + j] = static_cast<uint8_t>(word >> (8 * j));
        }
    }
    uuid.bytes[6] = static_cast<uint8_t>((uuid.bytes[6] & 0x0F) | 0x40); // version 4
    uuid.bytes[8] = static_cast<uint8_t>((uuid.bytes[8] & 0x3F) | 0x80); // RFC 4122 variant
    return uuid;
}

std::optional<ProviderUUID> ProviderUUID::parse(std::string_view text) {
    if (text.size() != 36) {
        return std::nullopt;
    }
    ProviderUUID uuid;
    size_t byte = 0;
    for (size_t i = 0; i < text.size();) {
        if (isDash(i)) {
            if (text[i] != '-') {
                return std::nullopt;
            }
            ++i;
            continue;
        }
        const int high = hexValue(text[i]);
        const int low = hexValue(text[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        uuid.bytes[byte++] = static_cast<uint8_t>(high << 4 | low);
        i += 2;
    }
    return uuid;
}

std::string ProviderUUID::text() const {
    static constexpr char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(36);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            out.push_back('-');
        }
        out.push_back(hex[bytes[i] >> 4]);
        out.push_back(hex[bytes[i] & 0x0F]);
    }
    return out;
}

} // namespace VedevaveApp
