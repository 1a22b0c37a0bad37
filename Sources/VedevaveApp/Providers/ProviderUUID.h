// The identity of a provider profile: a random (version 4) UUID. Written in the canonical
// 36-character lower-case form; read in either case. Any thread may use it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace VedevaveApp {

struct ProviderUUID {
    std::array<uint8_t, 16> bytes{};

    static ProviderUUID random();
    // Nothing unless the text is 8-4-4-4-12 hexadecimal digits.
    static std::optional<ProviderUUID> parse(std::string_view text);
    std::string text() const;

    bool operator==(const ProviderUUID&) const = default;
    auto operator<=>(const ProviderUUID&) const = default;
};

} // namespace VedevaveApp
