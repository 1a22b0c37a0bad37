// The model of the touch indicator overlay: a dot where the phone is being touched, a vector for
// gestures sent by automation, and the fade that follows. The overlay widget draws `state()` and
// animates the opacity whenever `onChanged` reports a new target. Main thread only.
#pragma once

#include "VedevaveApp/Input/MainScheduler.h"
#include "VedevaveApp/Input/TouchMap.h"

#include <array>
#include <functional>
#include <optional>
#include <utility>

namespace VedevaveApp {

class TouchIndicator {
public:
    // Look of the dot and the vector, in view points; the colour is the system blue.
    static constexpr double pressedDiameter = 48;
    static constexpr double releasedDiameter = 40;
    static constexpr double pressedFillOpacity = 0.55;
    static constexpr double releasedFillOpacity = 0.35;
    static constexpr double borderWidth = 2; // white
    static constexpr double borderOpacity = 0.9;
    static constexpr double vectorOpacity = 0.85;
    static constexpr double vectorLineWidth = 4; // round caps
    static constexpr double arrowStrokeLength = 16;
    static constexpr double arrowAngle = 3.14159265358979323846 / 7;
    // Timing of the fade.
    static constexpr std::chrono::milliseconds releaseFadeDelay{150};
    static constexpr std::chrono::milliseconds fadeDuration{250};

    struct Dot {
        TouchMap::Point center;
        double diameter = 0;
        double fillOpacity = 0;
    };
    struct Vector {
        TouchMap::Point start;
        TouchMap::Point end;
        std::array<std::pair<TouchMap::Point, TouchMap::Point>, 2> arrowHead; // two strokes from the end
    };
    struct State {
        bool isVisible = false;
        // The overlay's target opacity: 0 while fading (animate to it over `fadeDuration`), else 1.
        double opacity = 1;
        std::optional<Dot> dot;
        std::optional<Vector> vector;
    };

    // `showTouches` reads the setting of the same name on every show.
    TouchIndicator(MainScheduler& scheduler, std::function<bool()> showTouches)
        : scheduler_(scheduler), showTouches_(std::move(showTouches)) {}

    // A dot at a view point; a released dot fades soon after.
    void show(TouchMap::Point at, bool isPressed);
    // A gesture from `start` to `end` lasting `durationMs`; fades once the gesture is over.
    void showVector(TouchMap::Point start, TouchMap::Point end, double durationMs);
    // Hides at once, without fading.
    void hide();

    const State& state() const { return state_; }
    bool isFadePending() const { return fadeWork_.isPending(); }

    std::function<void(const State&)> onChanged;

private:
    void scheduleFade(std::chrono::nanoseconds delay);
    void changed();

    MainScheduler& scheduler_;
    std::function<bool()> showTouches_;
    State state_;
    ScheduledTask fadeWork_; // the pending start or end of the fade
};

} // namespace VedevaveApp
