// Finds phones through the USB multiplexing daemon. Every call opens a fresh connection, sends one
// request, reads one reply and closes it; nothing is cached. Calls block their thread for one
// exchange (at most a few seconds: the socket has send and receive timeouts) and may overlap.
#pragma once

#include "DeviceKit/DeviceInfo.h"
#include "DeviceKit/DeviceKitError.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace DeviceKit::Usbmux {

inline constexpr const char* defaultSocketPath = "/var/run/usbmuxd";
// Reply bodies must hold 1 to 15,999,999 bytes.
inline constexpr uint32_t minimumReplyLength = 17;
inline constexpr uint32_t maximumReplyLength = 16'000'015;
inline constexpr int exchangeTimeoutMs = 5000;

// The daemon socket: "USBMUXD_SOCKET_ADDRESS" when it names a "UNIX:" path, else the default.
std::string socketPath();

std::vector<DeviceInfo> listDevices();
std::vector<DeviceInfo> usbDevices();
// The first USB device, or the first USB device with this UDID. Fails with noDevice.
DeviceInfo pick(const std::optional<std::string>& udid);
// The network entry of this phone if the daemon lists one, else its USB entry. Fails with noDevice.
DeviceInfo controlPeer(const std::string& udid);

// The wire pieces, pure so that tests and fuzzing reach them without a socket.
using Dictionary = std::vector<std::pair<std::string, std::string>>;
std::string requestBody(const Dictionary& entries);
std::array<uint8_t, 16> requestHeader(uint32_t bodyLength);
// The total length announced by a reply header, checked against the bounds (badResponse "len N").
uint32_t replyLength(const std::array<uint8_t, 16>& header);
// The device list of a reply body (XML or binary property list).
std::vector<DeviceInfo> parseDeviceList(const std::string& body);

// The same selections over a given list (what pick and controlPeer apply to listDevices()).
DeviceInfo pickFrom(const std::vector<DeviceInfo>& devices, const std::optional<std::string>& udid);
DeviceInfo controlPeerFrom(const std::vector<DeviceInfo>& devices, const std::string& udid);

} // namespace DeviceKit::Usbmux
