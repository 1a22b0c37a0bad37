// The toolkit-independent half of the video view for engine frames: it holds the ring binding and
// the one pending slot frame, lets the drawing side present it, and acknowledges every notice
// exactly once: when it has been presented, replaced by a newer one, or cannot be drawn. Any
// thread; `lock_` is the upload lock the drawing side holds while it reads a slot.
#pragma once

#include "MediaKit/LatencyWindow.h"
#include "MediaKit/VideoSocketReader.h"

#include <deque>
#include <functional>
#include <mutex>
#include <optional>

namespace VedevaveApp {

class FramePresenter {
public:
    using Acknowledge = std::function<void(uint32_t seq, uint64_t producedNs)>;
    using Draw = std::function<void(const MediaKit::RingBinding&, const MediaKit::SlotFrame&)>;

    explicit FramePresenter(Acknowledge acknowledge);

    // A new ring (or none): a pending frame of the old ring can no longer be drawn.
    void bind(const std::optional<MediaKit::RingBinding>& binding);
    // Stores the notice as the pending frame; a frame it replaces is acknowledged undrawn.
    void offer(const MediaKit::SlotFrame& frame);
    // Presents the pending frame, if any: `draw` reads the slot under the upload lock, then the
    // notice is acknowledged. False when nothing was pending.
    bool presentPending(const Draw& draw);

    MediaKit::LatencyWindow& presentLatency() { return presentLatency_; }
    const MediaKit::LatencyWindow& presentLatency() const { return presentLatency_; }
    // Frames presented during the last second.
    double frameRate() const;
    uint64_t framesPresented() const;

private:
    Acknowledge acknowledge_;
    MediaKit::LatencyWindow presentLatency_{512};
    mutable std::mutex lock_;
    std::optional<MediaKit::RingBinding> binding_;     // guarded by lock_
    std::optional<MediaKit::SlotFrame> pending_;       // guarded by lock_
    std::deque<uint64_t> presentedAt_;                 // guarded by lock_, monotonic ns
    uint64_t framesPresented_ = 0;                     // guarded by lock_
};

} // namespace VedevaveApp
