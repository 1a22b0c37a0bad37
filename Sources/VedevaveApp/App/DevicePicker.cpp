#include "VedevaveApp/App/DevicePicker.h"

#include "DeviceKit/DeviceKitError.h"
#include "Runtime/Log.h"

#include <algorithm>
#include <chrono>

namespace VedevaveApp {

namespace {
constexpr std::chrono::milliseconds refreshInterval{1500};
}

DevicePicker::DevicePicker(asio::any_io_executor executor, ListSource source, ListChanged onChange)
    : timer_(executor), source_(std::move(source)), onChange_(std::move(onChange)) {}

DevicePicker::~DevicePicker() { stop(); }

void DevicePicker::start() {
    if (isRunning_) {
        return;
    }
    isRunning_ = true;
    refresh();
    scheduleNext();
}

void DevicePicker::stop() {
    isRunning_ = false;
    timer_.cancel();
}

void DevicePicker::select(const std::string& udid) { selectedUdid_ = udid; }

void DevicePicker::scheduleNext() {
    timer_.expires_after(refreshInterval);
    timer_.async_wait([this](const std::error_code& error) {
        if (error || !isRunning_) {
            return;
        }
        refresh();
        scheduleNext();
    });
}

void DevicePicker::refresh() {
    std::vector<DeviceKit::DeviceInfo> listed;
    try {
        listed = source_();
        lastError_.reset();
    } catch (const DeviceKit::DeviceKitError& error) {
        // The picker shows an empty list; say why once rather than every 1.5 seconds.
        if (lastError_ != error.description()) {
            Runtime::logLine("Vedevave: device discovery: " + error.description());
            lastError_ = error.description();
        }
    }
    if (selectedUdid_ && std::none_of(listed.begin(), listed.end(),
                                      [&](const auto& device) { return device.udid == *selectedUdid_; })) {
        selectedUdid_.reset();
    }
    if (!selectedUdid_ && !listed.empty()) {
        selectedUdid_ = listed.front().udid;
    }
    const bool changed = !hasListed_ || listed != devices_;
    hasListed_ = true;
    devices_ = std::move(listed);
    if (changed && onChange_) {
        onChange_(devices_);
    }
}

} // namespace VedevaveApp
