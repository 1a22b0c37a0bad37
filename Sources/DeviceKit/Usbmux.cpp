#include "DeviceKit/Usbmux.h"

#include "Platform/Environment.h"
#include "Runtime/UnixSocket.h"

#include <plist/plist.h>

#include <cstdlib>
#include <memory>
#include <sys/socket.h>

namespace DeviceKit::Usbmux {

namespace {

constexpr uint32_t protocolVersion = 1;
constexpr uint32_t plistMessageType = 8;
constexpr uint32_t requestTag = 1;

struct PlistDeleter {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

std::optional<std::string> stringItem(plist_t dictionary, const char* key) {
    plist_t item = plist_dict_get_item(dictionary, key);
    if (!item || plist_get_node_type(item) != PLIST_STRING) {
        return std::nullopt;
    }
    char* value = nullptr;
    plist_get_string_val(item, &value);
    if (!value) {
        return std::nullopt;
    }
    std::string text(value);
    std::free(value);
    return text;
}

std::string connectionTypeOf(plist_t properties) {
    plist_t item = plist_dict_get_item(properties, "ConnectionType");
    if (!item) {
        return "USB";
    }
    if (plist_get_node_type(item) == PLIST_STRING) {
        return stringItem(properties, "ConnectionType").value_or("USB");
    }
    if (plist_get_node_type(item) == PLIST_UINT) {
        uint64_t value = 0;
        plist_get_uint_val(item, &value);
        return value == 1 ? "Network" : "USB";
    }
    return "USB";
}

void putLittleEndian(std::array<uint8_t, 16>& bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[offset + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
    }
}

} // namespace

std::string socketPath() {
    if (auto address = Platform::Environment::nonEmpty("USBMUXD_SOCKET_ADDRESS")) {
        if (address->rfind("UNIX:", 0) == 0 && address->size() > 5) {
            return address->substr(5);
        }
    }
    return defaultSocketPath;
}

std::string requestBody(const Dictionary& entries) {
    // Keys and values are written as they are: the daemon's own clients do the same.
    std::string body =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
        "<plist version=\"1.0\"><dict>";
    for (const auto& [key, value] : entries) {
        body += "<key>" + key + "</key><string>" + value + "</string>";
    }
    body += "</dict></plist>";
    return body;
}

std::array<uint8_t, 16> requestHeader(uint32_t bodyLength) {
    std::array<uint8_t, 16> header{};
    putLittleEndian(header, 0, 16 + bodyLength);
    putLittleEndian(header, 4, protocolVersion);
    putLittleEndian(header, 8, plistMessageType);
    putLittleEndian(header, 12, requestTag);
    return header;
}

uint32_t replyLength(const std::array<uint8_t, 16>& header) {
    const uint32_t length = static_cast<uint32_t>(header[0]) | static_cast<uint32_t>(header[1]) << 8 |
                            static_cast<uint32_t>(header[2]) << 16 | static_cast<uint32_t>(header[3]) << 24;
    if (length < minimumReplyLength || length > maximumReplyLength) {
        throw DeviceKitError::badResponse("len " + std::to_string(length));
    }
    return length;
}

std::vector<DeviceInfo> parseDeviceList(const std::string& body) {
    plist_t raw = nullptr;
    if (!body.empty()) {
        plist_from_memory(body.data(), static_cast<uint32_t>(body.size()), &raw);
    }
    PlistPtr root(raw);
    plist_t list = root && plist_get_node_type(raw) == PLIST_DICT ? plist_dict_get_item(raw, "DeviceList") : nullptr;
    if (!list || plist_get_node_type(list) != PLIST_ARRAY) {
        throw DeviceKitError::badResponse("no DeviceList");
    }
    const uint32_t count = plist_array_get_size(list);
    for (uint32_t i = 0; i < count; ++i) {
        if (plist_get_node_type(plist_array_get_item(list, i)) != PLIST_DICT) {
            throw DeviceKitError::badResponse("no DeviceList");
        }
    }
    std::vector<DeviceInfo> devices;
    for (uint32_t i = 0; i < count; ++i) {
        plist_t properties = plist_dict_get_item(plist_array_get_item(list, i), "Properties");
        if (!properties || plist_get_node_type(properties) != PLIST_DICT) {
            continue;
        }
        auto serial = stringItem(properties, "SerialNumber");
        if (!serial) {
            continue;
        }
        devices.push_back(DeviceInfo{*serial, connectionTypeOf(properties), stringItem(properties, "DeviceName"),
                                     stringItem(properties, "ProductType"),
                                     stringItem(properties, "ProductVersion")});
    }
    return devices;
}

std::vector<DeviceInfo> listDevices() {
    Runtime::UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket.isValid()) {
        throw DeviceKitError::usbmuxUnavailable();
    }
    auto address = Runtime::unixAddress(socketPath());
    if (!address || ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0) {
        throw DeviceKitError::usbmuxUnavailable();
    }
    // A daemon that stops answering must not block its caller for ever.
    Runtime::setSocketTimeouts(socket.get(), exchangeTimeoutMs);

    const std::string body = requestBody({{"MessageType", "ListDevices"}});
    const auto header = requestHeader(static_cast<uint32_t>(body.size()));
    if (!Runtime::sendAll(socket.get(), header.data(), header.size()) ||
        !Runtime::sendAll(socket.get(), body.data(), body.size())) {
        throw DeviceKitError::sendFailed();
    }

    std::array<uint8_t, 16> replyHeader{};
    if (!Runtime::receiveExact(socket.get(), replyHeader.data(), replyHeader.size())) {
        throw DeviceKitError::recvFailed();
    }
    const uint32_t length = replyLength(replyHeader); // bounded before anything is allocated
    std::string reply(length - 16, '\0');
    if (!Runtime::receiveExact(socket.get(), reply.data(), reply.size())) {
        throw DeviceKitError::recvFailed();
    }
    return parseDeviceList(reply);
}

std::vector<DeviceInfo> usbDevices() {
    std::vector<DeviceInfo> usb;
    for (auto& device : listDevices()) {
        if (device.connectionType == "USB") {
            usb.push_back(std::move(device));
        }
    }
    return usb;
}

DeviceInfo pickFrom(const std::vector<DeviceInfo>& devices, const std::optional<std::string>& udid) {
    for (const auto& device : devices) {
        if (device.connectionType == "USB" && (!udid || device.udid == *udid)) {
            return device;
        }
    }
    throw DeviceKitError::noDevice();
}

DeviceInfo controlPeerFrom(const std::vector<DeviceInfo>& devices, const std::string& udid) {
    for (const char* preferred : {"Network", "USB"}) {
        for (const auto& device : devices) {
            if (device.udid == udid && device.connectionType == preferred) {
                return device;
            }
        }
    }
    throw DeviceKitError::noDevice();
}

DeviceInfo pick(const std::optional<std::string>& udid) { return pickFrom(listDevices(), udid); }

DeviceInfo controlPeer(const std::string& udid) { return controlPeerFrom(listDevices(), udid); }

} // namespace DeviceKit::Usbmux
