// Geometry of the simulated phone's screens in pixels, derived from the frame size: status bar,
// home-screen icon grid and dock, app title bar, home indicator. Shared by PhoneModel (hit tests)
// and PhoneRenderer (drawing), so what is drawn is exactly what a tap hits. Immutable; any thread.
#pragma once

#include "Engine/AppCatalog.h"

#include <optional>
#include <vector>

namespace Engine {

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    bool contains(double px, double py) const {
        return px >= x && px < x + width && py >= y && py < y + height;
    }
    double centerX() const { return x + width / 2; }
    double centerY() const { return y + height / 2; }
};

class PhoneLayout {
public:
    // Layout of a portrait phone `width` × `height` pixels; sizes follow a 390-point-wide phone.
    PhoneLayout(int width, int height, const AppCatalog& catalog);

    struct IconSlot {
        int appIndex = 0; // into AppCatalog::apps()
        Rect icon;        // the rounded square
        Rect label;       // the name under it (empty for dock icons)
        bool inDock = false;
    };

    int width() const { return width_; }
    int height() const { return height_; }
    double scale() const { return scale_; } // pixels per point
    double points(double pt) const { return pt * scale_; }

    const std::vector<IconSlot>& iconSlots() const { return slots_; }
    const IconSlot* slotForApp(int appIndex) const;
    // The app whose icon contains the pixel, if any. Taps on the label count too.
    std::optional<int> appAt(double px, double py) const;

    Rect statusBar() const { return statusBar_; }
    Rect dock() const { return dock_; }
    Rect titleBar() const { return titleBar_; } // app screens
    Rect homeIndicator() const { return homeIndicator_; }
    double iconSize() const { return iconSize_; }
    double cornerRadius() const { return iconSize_ * 0.225; }

private:
    int width_;
    int height_;
    double scale_;
    double iconSize_;
    std::vector<IconSlot> slots_;
    Rect statusBar_;
    Rect dock_;
    Rect titleBar_;
    Rect homeIndicator_;
};

} // namespace Engine
