// A bounded window of latency samples in milliseconds with p50 and p95, computed the way the
// application's LatencyWindow does. Io thread only.
#pragma once

#include <algorithm>
#include <deque>
#include <vector>

namespace Engine {

class LatencyStats {
public:
    explicit LatencyStats(size_t capacity = 512) : capacity_(std::max<size_t>(capacity, 32)) {}

    void add(double ms) {
        samples_.push_back(ms);
        while (samples_.size() > capacity_) {
            samples_.pop_front();
        }
    }

    struct Snapshot {
        double p50Ms = 0;
        double p95Ms = 0;
        size_t count = 0;
    };

    Snapshot snapshot() const {
        if (samples_.empty()) {
            return {};
        }
        std::vector<double> sorted(samples_.begin(), samples_.end());
        std::sort(sorted.begin(), sorted.end());
        const size_t n = sorted.size();
        return {sorted[n / 2],
                sorted[std::min(n - 1, static_cast<size_t>(static_cast<double>(n - 1) * 0.95))], n};
    }

private:
    size_t capacity_;
    std::deque<double> samples_;
};

} // namespace Engine
