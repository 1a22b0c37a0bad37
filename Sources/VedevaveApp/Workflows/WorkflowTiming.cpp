#include "VedevaveApp/Workflows/WorkflowTiming.h"

#include <algorithm>
#include <limits>
#include <mutex>

namespace VedevaveApp::WorkflowTiming {

namespace {

// Beyond an hour a latency figure is noise; the bound keeps the integer arithmetic exact.
constexpr double longestRoundTripMs = 3'600'000;

std::mutex providerLock;
LatencyProvider installedProvider; // guarded by providerLock

int64_t saturatingAdd(int64_t a, int64_t b) {
    int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) {
        return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    }
    return sum;
}

int64_t measuredRoundTrip() {
    LatencyProvider provider;
    {
        std::lock_guard guard(providerLock);
        provider = installedProvider;
    }
    if (!provider) {
        return 0;
    }
    const LatencyPercentiles latency = provider();
    const double larger = std::max(latency.p50Ms, latency.p95Ms);
    if (!(larger >= 1)) { // also not-a-number
        return 0;
    }
    return static_cast<int64_t>(std::min(larger, longestRoundTripMs));
}

int64_t halfCompensation(std::optional<int64_t> fallback) {
    const int64_t roundTrip = measuredRoundTrip();
    if (roundTrip > 0) {
        return roundTrip / 2;
    }
    if (fallback && *fallback >= 0) {
        return *fallback / 2;
    }
    return 0;
}

int64_t settleBase(std::optional<int64_t> fallback) {
    const int64_t roundTrip = measuredRoundTrip();
    if (roundTrip > 0) {
        return roundTrip;
    }
    return fallback ? std::max<int64_t>(*fallback, 0) : 0;
}

} // namespace

void setLatencyProvider(LatencyProvider provider) {
    std::lock_guard guard(providerLock);
    installedProvider = std::move(provider);
}

int64_t roundTripMilliseconds(std::optional<int64_t> fallback) {
    const int64_t roundTrip = measuredRoundTrip();
    if (roundTrip > 0) {
        return roundTrip;
    }
    return fallback && *fallback >= 0 ? *fallback : 0;
}

int64_t normalizeRecordedGap(int64_t gapMs, std::optional<int64_t> fallback) {
    return std::max<int64_t>(saturatingAdd(gapMs, -halfCompensation(fallback)), 0);
}

int64_t playbackWait(int64_t ms, std::optional<int64_t> fallback) {
    return std::max<int64_t>(saturatingAdd(ms, -halfCompensation(fallback)), 40);
}

int64_t postTapSettle(std::optional<int64_t> fallback) {
    return std::max<int64_t>(saturatingAdd(settleBase(fallback), 80), 120);
}

int64_t postButtonSettle(std::optional<int64_t> fallback) {
    return std::max<int64_t>(saturatingAdd(settleBase(fallback), 60), 100);
}

} // namespace VedevaveApp::WorkflowTiming
