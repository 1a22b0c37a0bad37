// The device picker's model: refreshes the USB phone list every 1.5 seconds on the main executor,
// treating a discovery error as an empty list and keeping the selection while its phone is listed.
// The window shows it; without a window the changes are written as diagnostic lines.
#pragma once

#include "DeviceKit/DeviceInfo.h"

#include <asio/steady_timer.hpp>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace VedevaveApp {

class DevicePicker {
public:
    using ListSource = std::function<std::vector<DeviceKit::DeviceInfo>()>; // may throw DeviceKitError
    using ListChanged = std::function<void(const std::vector<DeviceKit::DeviceInfo>&)>;

    static constexpr const char* emptyListText =
        "No USB iPhone found — plug in, unlock, and tap Trust This Mac on the phone.";

    // Main executor only.
    DevicePicker(asio::any_io_executor executor, ListSource source, ListChanged onChange);
    ~DevicePicker();

    void start();
    void stop();
    bool isRunning() const { return isRunning_; }

    const std::vector<DeviceKit::DeviceInfo>& devices() const { return devices_; }
    const std::optional<std::string>& selectedUdid() const { return selectedUdid_; }
    void select(const std::string& udid);
    bool canConnect() const { return !devices_.empty(); }

    // One refresh now (the timer calls it; tests call it directly).
    void refresh();

private:
    void scheduleNext();

    asio::steady_timer timer_;
    ListSource source_;
    ListChanged onChange_;
    std::vector<DeviceKit::DeviceInfo> devices_;
    std::optional<std::string> selectedUdid_;
    std::optional<std::string> lastError_;
    bool isRunning_ = false;
    bool hasListed_ = false;
};

} // namespace VedevaveApp
