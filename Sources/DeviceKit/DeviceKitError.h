// The errors of device discovery, with the texts the user sees.
#pragma once

#include <stdexcept>
#include <string>

namespace DeviceKit {

class DeviceKitError : public std::exception {
public:
    enum class Kind { usbmuxUnavailable, sendFailed, recvFailed, noDevice, badResponse };

    static DeviceKitError usbmuxUnavailable() { return DeviceKitError(Kind::usbmuxUnavailable, ""); }
    static DeviceKitError sendFailed() { return DeviceKitError(Kind::sendFailed, ""); }
    static DeviceKitError recvFailed() { return DeviceKitError(Kind::recvFailed, ""); }
    static DeviceKitError noDevice() { return DeviceKitError(Kind::noDevice, ""); }
    static DeviceKitError badResponse(std::string detail) { return DeviceKitError(Kind::badResponse, detail); }

    Kind kind() const { return kind_; }
    const std::string& detail() const { return detail_; }
    const std::string& description() const { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

private:
    DeviceKitError(Kind kind, std::string detail);

    Kind kind_;
    std::string detail_;
    std::string description_;
};

} // namespace DeviceKit
