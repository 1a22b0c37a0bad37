// One phone as the USB multiplexing daemon lists it. A plain value; compared field by field.
#pragma once

#include <optional>
#include <string>

namespace DeviceKit {

struct DeviceInfo {
    std::string udid;
    std::string connectionType; // "USB" or "Network" as reported; other texts are kept as given
    std::optional<std::string> name;
    std::optional<std::string> productType;
    std::optional<std::string> productVersion;

    // "Name (ProductType)", with "iPhone" and "unknown" standing in for absent values.
    std::string displayTitle() const;

    bool operator==(const DeviceInfo&) const = default;
};

} // namespace DeviceKit
