// The engine's endpoints as its metadata file names them, and the helper that reads and waits for
// that file. Any thread; `waitForSession` is awaited on any executor.
#pragma once

#include <asio/awaitable.hpp>

#include <chrono>
#include <optional>
#include <string>

namespace DeviceKit {

struct RsdSession {
    static constexpr const char* defaultMetaPath = "/tmp/vedevave_rsd.json";
    static constexpr const char* defaultHidSocketPath = "/tmp/vedevave_hid.sock";
    static constexpr const char* defaultVideoSocketPath = "/tmp/vedevave_video.sock";

    std::string host;
    std::string hidSocketPath;
    std::string videoSocketPath;

    // VEDEVAVE_RSD_PATH when set and not empty, else the default path.
    static std::string metaPath();

    bool operator==(const RsdSession&) const = default;
};

namespace CoreDeviceBridge {

// One read of the metadata file; nothing when it is unreadable, not a JSON object or has no "host".
std::optional<RsdSession> loadSession(const std::string& path);
// Polls every 200 ms until the file yields a session or the timeout passes.
asio::awaitable<std::optional<RsdSession>> waitForSession(std::string path, std::chrono::milliseconds timeout);

} // namespace CoreDeviceBridge
} // namespace DeviceKit
