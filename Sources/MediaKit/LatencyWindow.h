// A bounded window of the most recent latency samples in milliseconds, answering the median and the
// 95th percentile. Any thread may add and read at the same time.
#pragma once

#include "Runtime/Clock.h"

#include <cstddef>
#include <deque>
#include <mutex>

namespace MediaKit {

// Nanoseconds of the raw monotonic clock; the engine stamps its frames in the same clock.
using Runtime::monotonicNow;

class LatencyWindow {
public:
    struct Snapshot {
        double p50Ms = 0;
        double p95Ms = 0;
        size_t count = 0;
    };

    static constexpr size_t minimumCapacity = 32;
    static constexpr size_t defaultCapacity = 512;

    explicit LatencyWindow(size_t capacity = defaultCapacity);

    void add(double milliseconds);
    Snapshot snapshot() const;
    size_t capacity() const { return cap_; }

private:
    mutable std::mutex lock_;
    std::deque<double> samples_; // guarded by lock_, oldest first
    size_t cap_;
};

} // namespace MediaKit
