#include "Engine/TouchTracker.h"

#include <cmath>

namespace Engine {

std::optional<Gesture> TouchTracker::touch(bool contact, double x, double y, uint64_t nowNs) {
    if (contact) {
        if (!down_) {
            down_ = true;
            moved_ = false;
            startX_ = x;
            startY_ = y;
            downNs_ = nowNs;
        }
        x_ = x;
        y_ = y;
        if (std::fabs(x - startX_) > tapSlop || std::fabs(y - startY_) > tapSlop) {
            moved_ = true;
        }
        return std::nullopt;
    }
    if (!down_) {
        return std::nullopt;
    }
    down_ = false;
    x_ = x;
    y_ = y;
    if (std::fabs(x - startX_) > tapSlop || std::fabs(y - startY_) > tapSlop) {
        moved_ = true;
    }
    Gesture gesture;
    gesture.startX = startX_;
    gesture.startY = startY_;
    gesture.endX = x;
    gesture.endY = y;
    gesture.durationNs = nowNs >= downNs_ ? nowNs - downNs_ : 0;
    if (moved_) {
        gesture.kind = Gesture::Kind::swipe;
    } else if (gesture.durationNs >= longPressNs) {
        gesture.kind = Gesture::Kind::longPress;
    } else {
        gesture.kind = Gesture::Kind::tap;
    }
    return gesture;
}

} // namespace Engine
