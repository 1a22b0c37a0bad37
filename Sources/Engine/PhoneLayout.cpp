#include "Engine/PhoneLayout.h"

#include <algorithm>

namespace Engine {

namespace {
constexpr double referenceWidthPt = 390;
constexpr int gridColumns = 4;
constexpr double iconPt = 62;
constexpr double statusBarPt = 54;
constexpr double gridTopPt = 78;
constexpr double rowPitchPt = 100;
constexpr double labelGapPt = 6;
constexpr double labelHeightPt = 18;
constexpr double dockHeightPt = 96;
constexpr double dockInsetPt = 10;
constexpr double titleBarPt = 52;
} // namespace

PhoneLayout::PhoneLayout(int width, int height, const AppCatalog& catalog)
    : width_(width), height_(height), scale_(width / referenceWidthPt) {
    iconSize_ = points(iconPt);
    statusBar_ = {0, 0, static_cast<double>(width), points(statusBarPt)};
    titleBar_ = {0, statusBar_.height, static_cast<double>(width), points(titleBarPt)};
    homeIndicator_ = {width * 0.35, height - points(13), width * 0.30, points(5)};
    dock_ = {points(dockInsetPt), height - points(dockInsetPt + dockHeightPt) - points(12),
             width - points(2 * dockInsetPt), points(dockHeightPt)};

    // Grid: four columns spread evenly across the width.
    const double columnPitch = (width - 2 * points(24) - iconSize_) / (gridColumns - 1);
    const auto& grid = catalog.gridApps();
    for (size_t i = 0; i < grid.size(); ++i) {
        const int column = static_cast<int>(i % gridColumns);
        const int row = static_cast<int>(i / gridColumns);
        IconSlot slot;
        slot.appIndex = grid[i];
        slot.icon = {points(24) + column * columnPitch, points(gridTopPt) + row * points(rowPitchPt),
                     iconSize_, iconSize_};
        const double labelWidth = columnPitch;
        slot.label = {slot.icon.centerX() - labelWidth / 2, slot.icon.y + iconSize_ + points(labelGapPt),
                      labelWidth, points(labelHeightPt)};
        slots_.push_back(slot);
    }

    // Dock: its icons spread evenly inside the dock's rounded rectangle.
    const auto& dockApps = catalog.dockApps();
    const size_t n = std::max<size_t>(dockApps.size(), 1);
    const double dockPitch = dock_.width / static_cast<double>(n);
    for (size_t i = 0; i < dockApps.size(); ++i) {
        IconSlot slot;
        slot.appIndex = dockApps[i];
        slot.inDock = true;
        slot.icon = {dock_.x + dockPitch * (static_cast<double>(i) + 0.5) - iconSize_ / 2,
                     dock_.centerY() - iconSize_ / 2, iconSize_, iconSize_};
        slots_.push_back(slot);
    }
}

const PhoneLayout::IconSlot* PhoneLayout::slotForApp(int appIndex) const {
    for (const auto& slot : slots_) {
        if (slot.appIndex == appIndex) {
            return &slot;
        }
    }
    return nullptr;
}

std::optional<int> PhoneLayout::appAt(double px, double py) const {
    for (const auto& slot : slots_) {
        if (slot.icon.contains(px, py) || (!slot.inDock && slot.label.contains(px, py))) {
            return slot.appIndex;
        }
    }
    return std::nullopt;
}

} // namespace Engine
