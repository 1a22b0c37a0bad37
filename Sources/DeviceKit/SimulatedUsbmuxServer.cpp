#include "DeviceKit/SimulatedUsbmuxServer.h"

#include "DeviceKit/Usbmux.h"
#include "Runtime/UnixSocket.h"

#include <plist/plist.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace DeviceKit {

namespace {

constexpr uint32_t largestRequest = 64 * 1024;

plist_t deviceEntry(uint64_t deviceId, const char* connectionType) {
    plist_t properties = plist_new_dict();
    plist_dict_set_item(properties, "SerialNumber", plist_new_string(SimulatedUsbmuxServer::udid));
    plist_dict_set_item(properties, "ConnectionType", plist_new_string(connectionType));
    plist_dict_set_item(properties, "DeviceName", plist_new_string(SimulatedUsbmuxServer::deviceName));
    plist_dict_set_item(properties, "ProductType", plist_new_string(SimulatedUsbmuxServer::productType));
    plist_dict_set_item(properties, "ProductVersion", plist_new_string(SimulatedUsbmuxServer::productVersion));
    plist_dict_set_item(properties, "DeviceID", plist_new_uint(deviceId));
    plist_t entry = plist_new_dict();
    plist_dict_set_item(entry, "DeviceID", plist_new_uint(deviceId));
    plist_dict_set_item(entry, "MessageType", plist_new_string("Attached"));
    plist_dict_set_item(entry, "Properties", properties);
    return entry;
}

std::string messageTypeOf(const std::string& body) {
    plist_t root = nullptr;
    plist_from_memory(body.data(), static_cast<uint32_t>(body.size()), &root);
    std::string type;
    if (root && plist_get_node_type(root) == PLIST_DICT) {
        plist_t item = plist_dict_get_item(root, "MessageType");
        if (item && plist_get_node_type(item) == PLIST_STRING) {
            char* value = nullptr;
            plist_get_string_val(item, &value);
            if (value) {
                type = value;
                std::free(value);
            }
        }
    }
    if (root) {
        plist_free(root);
    }
    return type;
}

} // namespace

SimulatedUsbmuxServer::SimulatedUsbmuxServer(std::string socketPath) : socketPath_(std::move(socketPath)) {
    auto address = Runtime::unixAddress(socketPath_);
    if (!address) {
        throw std::runtime_error("simulated usbmux socket path too long: " + socketPath_);
    }
    ::unlink(socketPath_.c_str());
    listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0 ||
        ::listen(listenFd_, 16) != 0) {
        const std::string reason = std::strerror(errno);
        if (listenFd_ >= 0) {
            ::close(listenFd_);
        }
        throw std::runtime_error("cannot serve the simulated usbmux socket " + socketPath_ + ": " + reason);
    }
    thread_ = std::thread([this] {
        while (!stopping_) {
            pollfd waiting{listenFd_, POLLIN, 0};
            if (::poll(&waiting, 1, 200) <= 0) {
                continue;
            }
            int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                serve(client);
            }
        }
    });
}

SimulatedUsbmuxServer::~SimulatedUsbmuxServer() {
    stopping_ = true;
    thread_.join();
    ::close(listenFd_);
    ::unlink(socketPath_.c_str());
}

void SimulatedUsbmuxServer::serve(int client) {
    Runtime::UniqueFd connection(client);
    Runtime::setSocketTimeouts(client, 2000);
    std::array<uint8_t, 16> header{};
    if (!Runtime::receiveExact(client, header.data(), header.size())) {
        return;
    }
    uint32_t length = 0;
    uint32_t tag = 0;
    for (int i = 0; i < 4; ++i) {
        length |= static_cast<uint32_t>(header[static_cast<size_t>(i)]) << (8 * i);
        tag |= static_cast<uint32_t>(header[static_cast<size_t>(12 + i)]) << (8 * i);
    }
    if (length < 16 || length - 16 > largestRequest) {
        return;
    }
    std::string body(length - 16, '\0');
    if (!Runtime::receiveExact(client, body.data(), body.size())) {
        return;
    }
    const std::string reply = replyFor(body, tag);
    Runtime::sendAll(client, reply.data(), reply.size());
}

std::string SimulatedUsbmuxServer::replyFor(const std::string& requestBody, uint32_t tag) {
    plist_t root = plist_new_dict();
    if (messageTypeOf(requestBody) == "ListDevices") {
        plist_t list = plist_new_array();
        plist_array_append_item(list, deviceEntry(1, "USB"));
        plist_array_append_item(list, deviceEntry(2, "Network"));
        plist_dict_set_item(root, "DeviceList", list);
    } else {
        plist_dict_set_item(root, "MessageType", plist_new_string("Result"));
        plist_dict_set_item(root, "Number", plist_new_uint(1)); // bad command
    }
    char* xml = nullptr;
    uint32_t xmlLength = 0;
    plist_to_xml(root, &xml, &xmlLength);
    std::string body(xml, xmlLength);
    std::free(xml);
    plist_free(root);
    auto header = Usbmux::requestHeader(static_cast<uint32_t>(body.size()));
    for (int i = 0; i < 4; ++i) {
        header[static_cast<size_t>(12 + i)] = static_cast<uint8_t>(tag >> (8 * i));
    }
    return std::string(header.begin(), header.end()) + body;
}

} // namespace DeviceKit
