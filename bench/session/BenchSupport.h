// Shared pieces of the session benchmarks: private engine paths, a free port, percentiles.
#pragma once

#include "Platform/Environment.h"
#include "Support/FreePort.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace Bench {

// Points engines started from here at private paths, using the engine built next to this program.
inline std::filesystem::path usePrivateEngine() {
    const auto folder = std::filesystem::temp_directory_path() / ("vdv-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const auto bin = std::filesystem::canonical("/proc/self/exe").parent_path();
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
