#include "VedevaveApp/Video/FramePresenter.h"

#include <utility>

namespace VedevaveApp {

namespace {
constexpr uint64_t oneSecondNs = 1'000'000'000;
}

FramePresenter::FramePresenter(Acknowledge acknowledge) : acknowledge_(std::move(acknowledge)) {}

void FramePresenter::bind(const std::optional<MediaKit::RingBinding>& binding) {
    std::optional<MediaKit::SlotFrame> dropped;
    {
        std::lock_guard guard(lock_);
        binding_ = binding;
        dropped = std::exchange(pending_, std::nullopt);
    }
    if (dropped) {
        acknowledge_(dropped->seq, dropped->producedNs);
    }
}

void FramePresenter::offer(const MediaKit::SlotFrame& frame) {
    std::optional<MediaKit::SlotFrame> replaced;
    bool canDraw;
    {
        std::lock_guard guard(lock_);
        canDraw = binding_ && frame.slot >= 0 && frame.slot < binding_->slots;
        if (canDraw) {
            replaced = std::exchange(pending_, frame);
        }
    }
    if (!canDraw) {
        acknowledge_(frame.seq, frame.producedNs);
    }
    if (replaced) {
        acknowledge_(replaced->seq, replaced->producedNs);
    }
}

bool FramePresenter::presentPending(const Draw& draw) {
    std::optional<MediaKit::SlotFrame> frame;
    {
        std::lock_guard guard(lock_);
        frame = std::exchange(pending_, std::nullopt);
        if (!frame) {
            return false;
        }
        if (draw) {
            draw(*binding_, *frame);
        }
        const uint64_t now = MediaKit::monotonicNow();
        ++framesPresented_;
        presentedAt_.push_back(now);
        while (!presentedAt_.empty() && now - presentedAt_.front() > oneSecondNs) {
            presentedAt_.pop_front();
        }
        if (frame->producedNs != 0 && now > frame->producedNs) {
            presentLatency_.add(static_cast<double>(now - frame->producedNs) / 1'000'000.0);
        }
    }
    acknowledge_(frame->seq, frame->producedNs);
    return true;
}

double FramePresenter::frameRate() const {
    std::lock_guard guard(lock_);
    const uint64_t now = MediaKit::monotonicNow();
    size_t recent = 0;
    for (uint64_t at : presentedAt_) {
        if (now - at <= oneSecondNs) {
            ++recent;
        }
    }
    return static_cast<double>(recent);
}

uint64_t FramePresenter::framesPresented() const {
    std::lock_guard guard(lock_);
    return framesPresented_;
}

} // namespace VedevaveApp
