#include "Engine/IconCache.h"

#include <cmath>

namespace Engine {

namespace {

// Whether dark text reads better than white on this colour.
bool isLight(uint32_t rgb) {
    const double luminance =
        0.299 * ((rgb >> 16) & 0xff) + 0.587 * ((rgb >> 8) & 0xff) + 0.114 * (rgb & 0xff);
    return luminance > 180;
}

} // namespace

IconCache::IconCache(const AppCatalog& catalog, double iconSize, double cornerRadius) {
    const int side = static_cast<int>(std::ceil(iconSize));
    for (const auto& app : catalog.apps()) {
        CairoSurface surface = makeImageSurface(side, side);
        CairoContext cr(cairo_create(surface.get()));
        cairo_t* c = cr.get();
        cairo_set_operator(c, CAIRO_OPERATOR_CLEAR);
        cairo_paint(c);
        cairo_set_operator(c, CAIRO_OPERATOR_OVER);

        roundedRectangle(c, 0, 0, iconSize, iconSize, cornerRadius);
        cairo_pattern_t* gradient = cairo_pattern_create_linear(0, 0, 0, iconSize);
        cairo_pattern_add_color_stop_rgb(gradient, 0, ((app.colorTop >> 16) & 0xff) / 255.0,
                                         ((app.colorTop >> 8) & 0xff) / 255.0, (app.colorTop & 0xff) / 255.0);
        cairo_pattern_add_color_stop_rgb(gradient, 1, ((app.colorBottom >> 16) & 0xff) / 255.0,
                                         ((app.colorBottom >> 8) & 0xff) / 255.0,
                                         (app.colorBottom & 0xff) / 255.0);
        cairo_set_source(c, gradient);
        cairo_fill(c);
        cairo_pattern_destroy(gradient);

        TextStyle glyph;
        glyph.sizePx = iconSize * 0.46;
        glyph.bold = true;
        glyph.align = TextAlign::center;
        glyph.color = isLight(app.colorBottom) ? 0x1C1C1E : 0xFFFFFF;
        drawText(c, app.glyph, 0, iconSize * 0.2, iconSize, glyph);
        cairo_surface_flush(surface.get());
        icons_.push_back(std::move(surface));
    }
}

void IconCache::paint(cairo_t* cr, int appIndex, double x, double y) const {
    cairo_set_source_surface(cr, icon(appIndex), x, y);
    cairo_paint(cr);
}

} // namespace Engine
