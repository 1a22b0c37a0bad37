// Hostile daemon replies: the header's length check and the property-list parsing must reject any
// bytes with DeviceKitError and never crash.
#include "DeviceKit/Usbmux.h"

#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size >= 16) {
        std::array<uint8_t, 16> header{};
        std::memcpy(header.data(), data, 16);
        try {
            DeviceKit::Usbmux::replyLength(header);
        } catch (const DeviceKit::DeviceKitError&) {
        }
    }
    try {
        auto devices = DeviceKit::Usbmux::parseDeviceList(std::string(reinterpret_cast<const char*>(data), size));
        for (const auto& device : devices) {
            (void)device.displayTitle();
        }
    } catch (const DeviceKit::DeviceKitError&) {
    }
    return 0;
}
