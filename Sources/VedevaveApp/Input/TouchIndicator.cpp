#include "VedevaveApp/Input/TouchIndicator.h"

#include <algorithm>
#include <cmath>

namespace VedevaveApp {

void TouchIndicator::show(TouchMap::Point at, bool isPressed) {
    if (showTouches_ && !showTouches_()) {
        hide();
        return;
    }
    fadeWork_.cancel();
    state_.vector.reset();
    state_.isVisible = true;
    state_.opacity = 1;
    state_.dot = Dot{at, isPressed ? pressedDiameter : releasedDiameter,
                     isPressed ? pressedFillOpacity : releasedFillOpacity};
    changed();
    if (!isPressed) {
        scheduleFade(releaseFadeDelay);
    }
}

void TouchIndicator::showVector(TouchMap::Point start, TouchMap::Point end, double durationMs) {
    show(start, true);
    if (!state_.isVisible) {
        return; // touches are not shown
    }
    state_.dot->fillOpacity = releasedFillOpacity;
    const double direction = std::atan2(end.y - start.y, end.x - start.x);
    const auto stroke = [&](double angle) {
        return std::pair{end, TouchMap::Point{end.x - arrowStrokeLength * std::cos(angle),
                                              end.y - arrowStrokeLength * std::sin(angle)}};
    };
    state_.vector = Vector{start, end, {stroke(direction + arrowAngle), stroke(direction - arrowAngle)}};
    changed();
    const double seconds = std::isfinite(durationMs) ? std::max(durationMs / 1000 + 0.15, 0.25) : 0.25;
    scheduleFade(std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::duration<double>(std::min(seconds, 3600.0))));
}

void TouchIndicator::hide() {
    fadeWork_.cancel();
    state_ = State{};
    changed();
}

void TouchIndicator::scheduleFade(std::chrono::nanoseconds delay) {
    fadeWork_ = scheduler_.schedule(delay, [this] {
        state_.opacity = 0;
        changed();
        fadeWork_ = scheduler_.schedule(fadeDuration, [this] {
            state_ = State{};
            changed();
        });
    });
}

void TouchIndicator::changed() {
    if (onChanged) {
        onChanged(state_);
    }
}

} // namespace VedevaveApp
