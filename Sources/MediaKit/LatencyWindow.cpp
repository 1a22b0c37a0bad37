#include "MediaKit/LatencyWindow.h"

#include <algorithm>
#include <vector>

namespace MediaKit {

LatencyWindow::LatencyWindow(size_t capacity) : cap_(std::max(capacity, minimumCapacity)) {}

void LatencyWindow::add(double milliseconds) {
    std::lock_guard guard(lock_);
    samples_.push_back(milliseconds);
    while (samples_.size() > cap_) {
        samples_.pop_front();
    }
}

LatencyWindow::Snapshot LatencyWindow::snapshot() const {
    std::vector<double> sorted;
    {
        std::lock_guard guard(lock_);
        sorted.assign(samples_.begin(), samples_.end());
    }
    if (sorted.empty()) {
        return {};
    }
    std::sort(sorted.begin(), sorted.end());
    const size_t n = sorted.size();
    const double p50 = sorted[n / 2]; // the upper median for an even count
    const size_t p95Index = std::min(n - 1, static_cast<size_t>(static_cast<double>(n - 1) * 0.95));
    // With few samples the index rule lands below the upper median (two samples: index 0); a 95th
    // percentile under the median is never right, so it is at least the median.
    return Snapshot{p50, std::max(p50, sorted[p95Index]), n};
}

} // namespace MediaKit
