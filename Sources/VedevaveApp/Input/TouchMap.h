// The geometry every actor uses to aim at the phone: where the picture lies in the mirror view,
// normalized picture coordinates, and their mapping to the phone's 16-bit touch space in each
// orientation. Pure functions; any thread may call.
//
// View coordinates have their origin at the view's top-left corner, y downward (the desktop
// toolkit's convention). Normalized content coordinates are 0 to 1, x to the right and y downward
// from the picture's top-left corner as shown. Device coordinates are 0 to 65535 in the phone's own
// portrait frame.
#pragma once

#include <cstdint>
#include <optional>

namespace VedevaveApp::TouchMap {

struct Size {
    double width = 0;
    double height = 0;
};

struct Point {
    double x = 0;
    double y = 0;

    bool operator==(const Point&) const = default;
};

struct Rect {
    double x = 0; // left edge
    double y = 0; // top edge
    double width = 0;
    double height = 0;
};

struct DevicePoint {
    int32_t x = 0;
    int32_t y = 0;

    bool operator==(const DevicePoint&) const = default;
};

// The side of the phone's home position when it is held in landscape.
enum class LandscapeHome { right, left };

// How picture coordinates map to device coordinates: `portrait`, `buffer` (no remapping, for
// debugging) or `landscape` with the home side.
struct Mode {
    enum class Kind { portrait, buffer, landscape };

    Kind kind = Kind::portrait;
    LandscapeHome home = LandscapeHome::right; // meaningful for landscape only

    static constexpr Mode portrait() { return {Kind::portrait, LandscapeHome::right}; }
    static constexpr Mode buffer() { return {Kind::buffer, LandscapeHome::right}; }
    static constexpr Mode landscape(LandscapeHome home) { return {Kind::landscape, home}; }

    bool operator==(const Mode&) const = default;
};

inline constexpr int32_t deviceMaximum = 65535;

// The rectangle, in view coordinates, that a picture of size `video` occupies when scaled into a
// view of size `view` keeping its aspect ratio (letter- or pillar-boxed, centred).
Rect contentRect(Size view, Size video);

// floor(clamp(value, 0, 1) × 65535); a negative or not-a-number value gives 0.
int32_t quantize(double value);

// Normalized content coordinates to device coordinates under `mode`.
DevicePoint deviceCoordinates(Point content, Mode mode);
// The inverse: device coordinates back to normalized content coordinates (up to quantization).
Point contentCoordinates(DevicePoint device, Mode mode);

// The picture's rectangle in a view: `videoSize` when its width is greater than 1, otherwise the
// whole view counts as picture.
Rect pictureRect(Size view, Size videoSize);
// Normalized content coordinates of a view point, clamped into the picture (a point in the margin
// maps to the nearest edge); absent when the picture is 1 point or less, or the point is not finite.
std::optional<Point> contentUV(Point viewPoint, Size view, Size videoSize);
// The view point of normalized content coordinates (each clamped to 0 to 1).
Point contentPoint(Point content, Size view, Size videoSize);

} // namespace VedevaveApp::TouchMap
