#include "Engine/HomeScreenPainter.h"

#include "Engine/ScreenGeometry.h"

#include <numbers>
#include <tuple>

namespace Engine {

namespace {
constexpr uint32_t wallpaperTop = 0x1B2A6B;
constexpr uint32_t wallpaperMiddle = 0x5B3A8E;
constexpr uint32_t wallpaperBottom = 0xD9677A;
constexpr uint32_t labelColor = 0xFFFFFF;
constexpr double labelSizePt = 12;
constexpr double pressedShade = 0.35;
constexpr const char* searchLabel = "Search";
} // namespace

HomeScreenPainter::HomeScreenPainter(const PhoneLayout& layout, const AppCatalog& catalog,
                                     const IconCache& icons)
    : layout_(layout) {
    drawWallpaper();
    drawLayer(catalog, icons);
}

void HomeScreenPainter::drawWallpaper() {
    wallpaper_ = makeImageSurface(layout_.width(), layout_.height());
    CairoContext cr(cairo_create(wallpaper_.get()));
    cairo_pattern_t* gradient = cairo_pattern_create_linear(0, 0, layout_.width() * 0.3, layout_.height());
    auto stop = [&](double at, uint32_t rgb) {
        cairo_pattern_add_color_stop_rgb(gradient, at, ((rgb >> 16) & 0xff) / 255.0,
                                         ((rgb >> 8) & 0xff) / 255.0, (rgb & 0xff) / 255.0);
    };
    stop(0, wallpaperTop);
    stop(0.55, wallpaperMiddle);
    stop(1, wallpaperBottom);
    cairo_set_source(cr.get(), gradient);
    cairo_paint(cr.get());
    cairo_pattern_destroy(gradient);
    // Two soft circles give the picture some structure that a viewer can tell apart.
    for (auto [cx, cy, r, a] : {std::tuple{0.15, 0.72, 0.55, 0.10}, std::tuple{0.95, 0.25, 0.45, 0.08}}) {
        cairo_arc(cr.get(), layout_.width() * cx, layout_.height() * cy, layout_.width() * r, 0,
                  2 * std::numbers::pi);
        cairo_set_source_rgba(cr.get(), 1, 1, 1, a);
        cairo_fill(cr.get());
    }
    cairo_surface_flush(wallpaper_.get());
}

void HomeScreenPainter::drawLayer(const AppCatalog& catalog, const IconCache& icons) {
    layer_ = makeImageSurface(layout_.width(), layout_.height());
    CairoContext context(cairo_create(layer_.get()));
    cairo_t* cr = context.get();
    cairo_set_source_surface(cr, wallpaper_.get(), 0, 0);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);

    const Rect dock = layout_.dock();
    roundedRectangle(cr, dock.x, dock.y, dock.width, dock.height, layout_.points(30));
    cairo_set_source_rgba(cr, 1, 1, 1, 0.28);
    cairo_fill(cr);

    const Rect pill = ScreenGeometry::toPixels(ScreenGeometry::searchPill, layout_.width(), layout_.height());
    roundedRectangle(cr, pill.x, pill.y, pill.width, pill.height, pill.height / 2);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.3);
    cairo_fill(cr);
    TextStyle pillText;
    pillText.sizePx = layout_.points(15);
    pillText.bold = true;
    pillText.color = labelColor;
    pillText.align = TextAlign::center;
    pillText.shadow = true;
    drawText(cr, searchLabel, pill.x, pill.centerY() - pillText.sizePx * 0.62, pill.width, pillText);

    TextStyle label;
    label.sizePx = layout_.points(labelSizePt);
    label.color = labelColor;
    label.align = TextAlign::center;
    label.shadow = true;
    for (const auto& slot : layout_.iconSlots()) {
        icons.paint(cr, slot.appIndex, slot.icon.x, slot.icon.y);
        if (!slot.inDock) {
            drawText(cr, catalog.apps()[static_cast<size_t>(slot.appIndex)].name, slot.label.x, slot.label.y,
                     slot.label.width, label);
        }
    }
    cairo_surface_flush(layer_.get());
}

void HomeScreenPainter::paint(cairo_t* cr, std::optional<int> pressedApp, bool isEditing) const {
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, layer_.get(), 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);
    if (pressedApp) {
        if (const auto* slot = layout_.slotForApp(*pressedApp)) {
            roundedRectangle(cr, slot->icon.x, slot->icon.y, slot->icon.width, slot->icon.height,
                             layout_.cornerRadius());
            cairo_set_source_rgba(cr, 0, 0, 0, pressedShade);
            cairo_fill(cr);
        }
    }
    if (isEditing) {
        // A grey minus badge on each icon's top-left corner, as when icons can be removed.
        const double r = layout_.points(11);
        for (const auto& slot : layout_.iconSlots()) {
            cairo_arc(cr, slot.icon.x + r * 0.4, slot.icon.y + r * 0.4, r, 0, 2 * std::numbers::pi);
            cairo_set_source_rgba(cr, 0.35, 0.35, 0.38, 0.95);
            cairo_fill(cr);
            cairo_rectangle(cr, slot.icon.x + r * 0.4 - r * 0.5, slot.icon.y + r * 0.4 - r * 0.1, r, r * 0.2);
            cairo_set_source_rgb(cr, 1, 1, 1);
            cairo_fill(cr);
        }
    }
}

} // namespace Engine
