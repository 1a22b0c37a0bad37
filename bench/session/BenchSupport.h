// Shared pieces of the session benchmarks: private engine paths, a free port, percentiles.
#pragma once

#include "Platform/Environment.h"

#include <algorithm>
#include <arpa/inet.h>
#include <filesystem>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace Bench {

inline int freePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// Points engines started from here at private paths next to this executable's engine.
inline std::filesystem::path useEngineFrom(const char* argv0) {
    const auto folder = std::filesystem::temp_directory_path() / ("vdv-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const auto bin = std::filesystem::canonical("/proc/self/exe").parent_path();
    (void)argv0;
    Platform::Environment::set("VEDEVAVE_ENGINE", (bin / "DaridiveVarara").string());
    Platform::Environment::set("VEDEVAVE_RSD_PATH", (folder / "rsd.json").string());
    Platform::Environment::set("VEDEVAVE_CAPTURE_DIR", (folder / "capture").string());
    Platform::Environment::set("VEDEVAVE_SIM_SOCKET_DIR", folder.string());
    return folder;
}

inline double percentile(std::vector<double> values, double fraction) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, static_cast<size_t>(fraction * static_cast<double>(values.size())));
    return values[index];
}

} // namespace Bench
