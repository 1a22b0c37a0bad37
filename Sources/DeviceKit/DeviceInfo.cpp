#include "DeviceKit/DeviceInfo.h"

#include "DeviceKit/DeviceKitError.h"

namespace DeviceKit {

std::string DeviceInfo::displayTitle() const {
    return name.value_or("iPhone") + " (" + productType.value_or("unknown") + ")";
}

namespace {
std::string describe(DeviceKitError::Kind kind, const std::string& detail) {
    switch (kind) {
    case DeviceKitError::Kind::usbmuxUnavailable: return "usbmuxd unavailable (/var/run/usbmuxd)";
    case DeviceKitError::Kind::sendFailed: return "usbmux send failed";
    case DeviceKitError::Kind::recvFailed: return "usbmux recv failed";
    case DeviceKitError::Kind::noDevice: return "no USB-paired iPhone (plug in a cable)";
    case DeviceKitError::Kind::badResponse: return "usbmux bad response: " + detail;
    }
    return "usbmux error";
}
} // namespace

DeviceKitError::DeviceKitError(Kind kind, std::string detail)
    : kind_(kind), detail_(std::move(detail)), description_(describe(kind_, detail_)) {}

} // namespace DeviceKit
