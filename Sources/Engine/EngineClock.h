// The two clocks of the engine. Any thread may call.
#pragma once

#include <cstdint>
#include <ctime>

namespace Engine {

// Nanoseconds of CLOCK_MONOTONIC_RAW: the clock the application's monotonicNow() reads, so that a
// frame's producedNs can be subtracted from the application's own reading.
inline uint64_t monotonicRawNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC_RAW, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1'000'000'000ull + static_cast<uint64_t>(ts.tv_nsec);
}

// Seconds since the Unix epoch, for the foreground report's "timestamp".
inline double unixSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

} // namespace Engine
