// The latency rules that recording and playback share: recorded pauses lose half the measured round
// trip, and playback settles for the round trip plus a margin. Every function reads the latency
// provider afresh. Any thread may call; the provider is installed once at start-up.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace VedevaveApp::WorkflowTiming {

struct LatencyPercentiles {
    double p50Ms = 0;
    double p95Ms = 0;
};

// The application installs one that reads the video view's present-latency window, answering
// (0, 0) when there is no video view. Without a provider nothing is measured.
using LatencyProvider = std::function<LatencyPercentiles()>;
void setLatencyProvider(LatencyProvider provider);

// The measured round trip RT when positive; otherwise the fallback when given and not negative;
// otherwise 0.
int64_t roundTripMilliseconds(std::optional<int64_t> fallback = std::nullopt);
// max(gap − h, 0), h being half the round trip (or half the fallback when nothing is measured).
int64_t normalizeRecordedGap(int64_t gapMs, std::optional<int64_t> fallback);
// max(ms − h, 40).
int64_t playbackWait(int64_t ms, std::optional<int64_t> fallback);
// max(c + 80, 120) and max(c + 60, 100), c being RT when measured, else the fallback (not below 0).
int64_t postTapSettle(std::optional<int64_t> fallback);
int64_t postButtonSettle(std::optional<int64_t> fallback);

} // namespace VedevaveApp::WorkflowTiming
