// Helpers shared by the whole-process engine benchmarks.
#pragma once

#include "EngineTestSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace EngineBench {

// Points the launcher at the build's engine unless VEDEVAVE_BIN_DIR says otherwise.
inline void useBuiltEngine() {
    setenv("VEDEVAVE_BIN_DIR", ENGINE_BIN_DIR, 0);
}

// CPU seconds (user + system) the process has used, from /proc/<pid>/stat.
inline double cpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    if (close == std::string::npos) {
        return 0;
    }
    std::istringstream fields(text.substr(close + 2));
    std::vector<std::string> f;
    for (std::string field; fields >> field;) {
        f.push_back(field);
    }
    // After the command name: state is field 3, utime field 14, stime field 15 (1-based).
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    return (std::stod(f.at(11)) + std::stod(f.at(12))) / ticks;
}

inline double percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1,
                           static_cast<size_t>(static_cast<double>(values.size() - 1) * p))];
}

} // namespace EngineBench
