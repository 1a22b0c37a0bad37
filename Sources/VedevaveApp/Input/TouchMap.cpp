#include "VedevaveApp/Input/TouchMap.h"

#include <algorithm>
#include <cmath>

namespace VedevaveApp::TouchMap {

namespace {

double clampUnit(double value) {
    return std::isnan(value) ? 0.0 : std::clamp(value, 0.0, 1.0);
}

} // namespace

Rect contentRect(Size view, Size video) {
    const double width = std::max(view.width, 1.0);
    const double height = std::max(view.height, 1.0);
    const double aspect = std::max(video.width, 1.0) / std::max(video.height, 1.0);
    if (aspect < width / height) {
        const double contentWidth = height * aspect;
        return {(width - contentWidth) / 2, 0, contentWidth, height};
    }
    const double contentHeight = width / aspect;
    return {0, (height - contentHeight) / 2, width, contentHeight};
}

int32_t quantize(double value) {
    return static_cast<int32_t>(std::floor(clampUnit(value) * deviceMaximum));
}

DevicePoint deviceCoordinates(Point content, Mode mode) {
    const double u = content.x;
    const double v = content.y;
    if (mode.kind != Mode::Kind::landscape) {
        return {quantize(u), quantize(v)};
    }
    if (mode.home == LandscapeHome::left) {
        return {quantize(v), quantize(1 - u)};
    }
    return {quantize(1 - v), quantize(u)};
}

Point contentCoordinates(DevicePoint device, Mode mode) {
    const double e = static_cast<double>(device.x) / deviceMaximum;
    const double f = static_cast<double>(device.y) / deviceMaximum;
    if (mode.kind != Mode::Kind::landscape) {
        return {e, f};
    }
    if (mode.home == LandscapeHome::left) {
        return {1 - f, e};
    }
    return {f, 1 - e};
}

Rect pictureRect(Size view, Size videoSize) {
    return contentRect(view, videoSize.width > 1 ? videoSize : view);
}

std::optional<Point> contentUV(Point viewPoint, Size view, Size videoSize) {
    const Rect rect = pictureRect(view, videoSize);
    if (!(rect.width > 1) || !(rect.height > 1) || !std::isfinite(viewPoint.x) ||
        !std::isfinite(viewPoint.y)) {
        return std::nullopt;
    }
    const double x = std::clamp(viewPoint.x, rect.x, rect.x + rect.width);
    const double y = std::clamp(viewPoint.y, rect.y, rect.y + rect.height);
    return Point{clampUnit((x - rect.x) / rect.width), clampUnit((y - rect.y) / rect.height)};
}

Point contentPoint(Point content, Size view, Size videoSize) {
    const Rect rect = pictureRect(view, videoSize);
    return {rect.x + clampUnit(content.x) * rect.width, rect.y + clampUnit(content.y) * rect.height};
}

} // namespace VedevaveApp::TouchMap
