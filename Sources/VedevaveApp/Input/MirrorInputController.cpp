#include "VedevaveApp/Input/MirrorInputController.h"

#include "Platform/Clipboard.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace VedevaveApp {

namespace KT = ControlKit::KeyboardTranslator;

namespace {

constexpr std::string_view contact = "contact";
constexpr std::string_view release = "release";

// Truncates a scaled scroll delta; deltas beyond any screen are clamped so the cast is defined.
int32_t scrollUnits(double delta) {
    const double scaled = delta * MirrorInputController::scrollDeltaScale;
    if (!std::isfinite(scaled)) {
        return 0;
    }
    return static_cast<int32_t>(std::clamp(scaled, -1e6, 1e6));
}

} // namespace

MirrorInputController::MirrorInputController(MirrorInputDependencies dependencies)
    : control_(dependencies.control), scheduler_(dependencies.scheduler), host_(dependencies.host),
      recorder_(dependencies.recorder), gate_(std::move(dependencies.gate)),
      keys_(control_, host_, recorder_, gate_.manualControlAllowed, std::move(dependencies.phoneLayout)),
      touchIndicator_(scheduler_, [this] { return host_.showTouches(); }),
      lastDragSentNs_(scheduler_.monotonicNanoseconds()) {}

bool MirrorInputController::isManualControlAllowed() const {
    return !gate_.manualControlAllowed || gate_.manualControlAllowed();
}

std::optional<TouchMap::Point> MirrorInputController::contentUV(TouchMap::Point location) const {
    return TouchMap::contentUV(location, viewSize_, videoSize_);
}

std::optional<TouchMap::DevicePoint> MirrorInputController::norm(TouchMap::Point location) const {
    const auto uv = contentUV(location);
    if (!uv) {
        return std::nullopt;
    }
    return TouchMap::deviceCoordinates(*uv, touchMode_);
}

TouchMap::Point MirrorInputController::contentPoint(double x, double y) const {
    return TouchMap::contentPoint({x, y}, viewSize_, videoSize_);
}

void MirrorInputController::storePosition(TouchMap::DevicePoint position) {
    lastDragX_ = position.x;
    lastDragY_ = position.y;
}

TouchMap::DevicePoint MirrorInputController::lastPositionOrOrigin() const {
    return {std::max(lastDragX_, 0), std::max(lastDragY_, 0)};
}

void MirrorInputController::mouseDown(TouchMap::Point location) {
    if (!isManualControlAllowed()) {
        host_.beep();
        return;
    }
    if (scrollTouchActive_) {
        finishScrollTouch();
    }
    if (host_.isInLiveResize()) {
        return;
    }
    host_.makeFirstResponder();
    keys_.releaseHeldKeys();

    activeTouch_ = true;
    touchPressedAtNs_ = scheduler_.monotonicNanoseconds();
    const auto position = norm(location);
    if (!position) {
        activeTouch_ = false;
        return;
    }
    storePosition(*position);
    lastDragSentNs_ = touchPressedAtNs_;
    control_.touch(contact, position->x, position->y);
    const auto uv = contentUV(location);
    touchIndicator_.show(contentPoint(uv->x, uv->y), true);
    if (recorder_) {
        recorder_->touchDown(uv->x, uv->y);
    }
}

void MirrorInputController::mouseDragged(TouchMap::Point location) {
    if (!activeTouch_) {
        return;
    }
    if (!isManualControlAllowed() || host_.isInLiveResize()) {
        cancelActiveTouch();
        return;
    }
    const auto position = norm(location);
    if (!position) {
        return;
    }
    // Thin moves to one per capture frame, so the phone is not flooded faster than it is seen; a
    // long jump always goes out at once so that fast flicks keep their shape.
    const uint64_t now = scheduler_.monotonicNanoseconds();
    const uint64_t intervalNs =
        1'000'000'000ull / static_cast<uint64_t>(std::max(host_.captureFrameRate(), 60));
    const int64_t distance = std::llabs(static_cast<int64_t>(position->x) - lastDragX_) +
                             std::llabs(static_cast<int64_t>(position->y) - lastDragY_);
    if (now - lastDragSentNs_ < intervalNs && distance < dragJumpDistance) {
        return;
    }
    lastDragSentNs_ = now;
    storePosition(*position);
    control_.touch(contact, position->x, position->y);
    const auto uv = contentUV(location);
    touchIndicator_.show(contentPoint(uv->x, uv->y), true);
}

void MirrorInputController::mouseUp(TouchMap::Point location) {
    if (!activeTouch_) {
        return;
    }
    if (scrollTouchActive_) {
        finishScrollTouch();
        return;
    }
    activeTouch_ = false;
    const auto position = norm(location);
    if (!position) {
        // Outside a usable picture: lift where the contact last was.
        touchIndicator_.show(location, false);
        const auto last = lastPositionOrOrigin();
        control_.releaseTouch(last.x, last.y, minimumHoldUs, touchPressedAtNs_);
        return;
    }
    const auto uv = contentUV(location);
    touchIndicator_.show(contentPoint(uv->x, uv->y), false);
    storePosition(*position);
    control_.releaseTouch(position->x, position->y, minimumHoldUs, touchPressedAtNs_);
    if (recorder_) {
        recorder_->touchUp(uv->x, uv->y);
    }
}

void MirrorInputController::scrollWheel(const ScrollEvent& event) {
    if (!isManualControlAllowed()) {
        cancelActiveTouch();
        return;
    }
    const auto position = norm(event.location);
    if (!position || (activeTouch_ && !scrollTouchActive_)) {
        return;
    }
    const int32_t dy = scrollUnits(event.deltaY);
    const int32_t dx = scrollUnits(event.deltaX);
    if (!scrollTouchActive_) {
        activeTouch_ = true;
        scrollTouchActive_ = true;
        storePosition(*position);
        control_.touch(contact, position->x, position->y);
        if (const auto uv = contentUV(event.location); uv && recorder_) {
            recorder_->touchDown(uv->x, uv->y);
        }
    }
    // The deltas move the finger in device units as they are: content follows the fingers.
    storePosition(
        {static_cast<int32_t>(std::clamp<int64_t>(int64_t{lastDragX_} - dx, 0, TouchMap::deviceMaximum)),
         static_cast<int32_t>(std::clamp<int64_t>(int64_t{lastDragY_} - dy, 0, TouchMap::deviceMaximum))});
    control_.touch(contact, lastDragX_, lastDragY_);

    const bool hasEnded = event.phase == ScrollPhase::ended || event.phase == ScrollPhase::cancelled ||
                          event.momentumPhase == ScrollPhase::ended;
    if (hasEnded) {
        finishScrollTouch();
    } else {
        scrollReleaseWork_ = scheduler_.schedule(scrollFinishDelay, [this] { finishScrollTouch(); });
    }
}

void MirrorInputController::finishScrollTouch() {
    if (!scrollTouchActive_) {
        return;
    }
    scrollReleaseWork_.cancel();
    scrollTouchActive_ = false;
    activeTouch_ = false;
    const auto last = lastPositionOrOrigin();
    control_.touch(release, last.x, last.y);
    if (last.x > TouchMap::deviceMaximum || last.y > TouchMap::deviceMaximum) {
        return;
    }
    if (recorder_) {
        const auto picture = TouchMap::contentCoordinates(last, touchMode_);
        recorder_->touchUp(picture.x, picture.y);
    }
}

void MirrorInputController::cancelActiveTouch() {
    if (!activeTouch_) {
        return;
    }
    if (scrollTouchActive_) {
        finishScrollTouch();
        return;
    }
    activeTouch_ = false;
    const auto last = lastPositionOrOrigin();
    control_.touch(release, last.x, last.y);
    lastDragX_ = -1;
    lastDragY_ = -1;
    touchIndicator_.hide();
}

void MirrorInputController::pasteMacClipboard() {
    if (gate_.beginManualLease && !gate_.beginManualLease()) {
        host_.beep();
        host_.showStatus(statusGateBusy);
        return;
    }
    const auto endLease = [this] {
        if (gate_.endManualLease) {
            gate_.endManualLease();
        }
    };
    const auto text = Platform::generalClipboard()->readText();
    if (!text || text->empty()) {
        host_.showStatus(statusClipboardEmpty);
        endLease();
        return;
    }
    if (!keys_.pasteThroughClipboard(*text)) {
        host_.showStatus(statusPasteFailed);
        endLease();
        return;
    }
    if (recorder_) {
        recorder_->typed(*text);
    }
    host_.showStatus("pasted " + std::to_string(std::min<std::size_t>(KT::characterCount(*text), 40)) +
                     " chars");
    endLease();
}

void MirrorInputController::toggleShowTouches() {
    const bool isOn = !host_.showTouches();
    host_.setShowTouches(isOn);
    host_.showStatus(isOn ? statusShowTouchesOn : statusShowTouchesOff);
    if (!isOn) {
        cancelActiveTouch();
    }
}

} // namespace VedevaveApp
