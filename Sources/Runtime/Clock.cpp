#include "Runtime/Clock.h"

#include <cstdio>
#include <ctime>

namespace Runtime {

uint64_t monotonicNow() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC_RAW, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1'000'000'000ull + static_cast<uint64_t>(ts.tv_nsec);
}

std::string iso8601(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const auto sinceEpoch = when.time_since_epoch();
    const auto seconds = floor<std::chrono::seconds>(sinceEpoch);
    const auto millis = duration_cast<milliseconds>(sinceEpoch - seconds).count();
    const std::time_t t = seconds.count();
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(millis));
    return buffer;
}

std::string iso8601Now() { return iso8601(std::chrono::system_clock::now()); }

} // namespace Runtime
