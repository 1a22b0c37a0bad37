// A private USB multiplexing daemon that lists one simulated phone, over USB and over the network,
// so the whole product runs on a machine without a phone. It answers ListDevices like the system
// daemon and refuses other requests. Runs its own thread; destroying it removes the socket.
#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace DeviceKit {

class SimulatedUsbmuxServer {
public:
    static constexpr const char* udid = "00008110-SIMULATED0001";
    static constexpr const char* deviceName = "Simulated iPhone";
    static constexpr const char* productType = "iPhone15,2";
    static constexpr const char* productVersion = "17.5";

    // Listens at `socketPath` (an existing file there is replaced). Throws std::runtime_error when
    // the socket cannot be created.
    explicit SimulatedUsbmuxServer(std::string socketPath);
    ~SimulatedUsbmuxServer();
    SimulatedUsbmuxServer(const SimulatedUsbmuxServer&) = delete;
    SimulatedUsbmuxServer& operator=(const SimulatedUsbmuxServer&) = delete;

    const std::string& socketPath() const { return socketPath_; }
    // The value for USBMUXD_SOCKET_ADDRESS that points discovery here.
    std::string socketAddress() const { return "UNIX:" + socketPath_; }

    // The reply (header and body) to one request body; pure for tests.
    static std::string replyFor(const std::string& requestBody, uint32_t tag);

private:
    void serve(int client);

    std::string socketPath_;
    int listenFd_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

} // namespace DeviceKit
