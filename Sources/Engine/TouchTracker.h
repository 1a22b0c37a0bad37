// Turns the stream of single-finger touch messages (contact at x,y ... release at x,y) into
// gestures: tap, long press, swipe. Pure: times come in with each touch. Io thread only.
//
// Coordinates are normalized (0..1, x right, y down) so thresholds do not depend on the frame size.
#pragma once

#include <cstdint>
#include <optional>

namespace Engine {

struct Gesture {
    enum class Kind { tap, longPress, swipe };
    Kind kind = Kind::tap;
    double startX = 0;
    double startY = 0;
    double endX = 0;
    double endY = 0;
    uint64_t durationNs = 0;
};

class TouchTracker {
public:
    // A finger within this distance of where it went down still counts as not moving.
    static constexpr double tapSlop = 0.03;
    static constexpr uint64_t longPressNs = 700'000'000;

    // Feeds one touch; returns the gesture a release completes. A contact while the finger is up
    // starts a new gesture; a release while it is up is ignored.
    std::optional<Gesture> touch(bool contact, double x, double y, uint64_t nowNs);

    bool isDown() const { return down_; }
    double startX() const { return startX_; }
    double startY() const { return startY_; }
    double currentX() const { return x_; }
    double currentY() const { return y_; }
    // Whether the finger has left the tap slop since it went down.
    bool hasMoved() const { return moved_; }

private:
    bool down_ = false;
    bool moved_ = false;
    double startX_ = 0;
    double startY_ = 0;
    double x_ = 0;
    double y_ = 0;
    uint64_t downNs_ = 0;
};

} // namespace Engine
