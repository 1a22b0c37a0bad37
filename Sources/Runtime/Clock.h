// Clocks shared by the application and its peers. Any thread may call.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace Runtime {

// Nanoseconds of the raw monotonic clock (not slewed by time adjustment). The engine stamps its
// frames with the same clock, so values from both processes can be subtracted.
uint64_t monotonicNow();

// ISO 8601 in UTC with milliseconds, e.g. "2026-12-11T02:51:30.123Z".
std::string iso8601(std::chrono::system_clock::time_point when);
std::string iso8601Now();

} // namespace Runtime
