#include "DeviceKit/RsdSession.h"

#include "Platform/Environment.h"
#include "Runtime/Task.h"

#include <nlohmann/json.hpp>

#include <fstream>
#include <sstream>

namespace DeviceKit {

namespace {
// A metadata file is a few hundred bytes; anything far larger is not one.
constexpr std::streamsize maximumMetaBytes = 64 * 1024;
constexpr std::chrono::milliseconds pollInterval{200};
} // namespace

std::string RsdSession::metaPath() {
    return Platform::Environment::nonEmpty("VEDEVAVE_RSD_PATH").value_or(defaultMetaPath);
}

namespace CoreDeviceBridge {

std::optional<RsdSession> loadSession(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    std::string text(static_cast<size_t>(maximumMetaBytes) + 1, '\0');
    file.read(text.data(), maximumMetaBytes + 1);
    if (file.gcount() > maximumMetaBytes) {
        return std::nullopt;
    }
    text.resize(static_cast<size_t>(file.gcount()));
    const auto object = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (!object.is_object()) {
        return std::nullopt;
    }
    auto textAt = [&](const char* key) -> std::optional<std::string> {
        auto found = object.find(key);
        if (found != object.end() && found->is_string()) {
            return found->get<std::string>();
        }
        return std::nullopt;
    };
    auto host = textAt("host");
    if (!host) {
        return std::nullopt;
    }
    return RsdSession{*host, textAt("hid_socket").value_or(RsdSession::defaultHidSocketPath),
                      textAt("video_socket").value_or(RsdSession::defaultVideoSocketPath)};
}

asio::awaitable<std::optional<RsdSession>> waitForSession(std::string path, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (auto session = loadSession(path)) {
            co_return session;
        }
        bool cancelled = false;
        try {
            co_await Runtime::sleepFor(pollInterval);
        } catch (const Runtime::CancellationError&) {
            cancelled = true;
        }
        if (cancelled) {
            // Whoever waits has been cancelled: one last look, then stop polling.
            co_return loadSession(path);
        }
    }
    co_return std::nullopt;
}

} // namespace CoreDeviceBridge
} // namespace DeviceKit
