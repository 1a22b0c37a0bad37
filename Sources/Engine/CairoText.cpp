#include "Engine/CairoText.h"

#include <cmath>
#include <numbers>
#include <pango/pangocairo.h>

// Fontconfig keeps its parsed configuration for the life of the process and never frees it; the
// sanitizer build's LeakSanitizer would report that at every exit of the engine and of every test
// that renders. It lives here because every program that draws text links this file.
extern "C" __attribute__((used, visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace Engine {

namespace {
constexpr const char* fontFamily = "DejaVu Sans";
}

CairoSurface makeImageSurface(int width, int height) {
    return CairoSurface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
}

void setColor(cairo_t* cr, uint32_t rgb, double alpha) {
    cairo_set_source_rgba(cr, ((rgb >> 16) & 0xff) / 255.0, ((rgb >> 8) & 0xff) / 255.0, (rgb & 0xff) / 255.0,
                          alpha);
}

void roundedRectangle(cairo_t* cr, double x, double y, double width, double height, double radius) {
    const double r = std::min(radius, std::min(width, height) / 2);
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + width - r, y + r, r, -std::numbers::pi / 2, 0);
    cairo_arc(cr, x + width - r, y + height - r, r, 0, std::numbers::pi / 2);
    cairo_arc(cr, x + r, y + height - r, r, std::numbers::pi / 2, std::numbers::pi);
    cairo_arc(cr, x + r, y + r, r, std::numbers::pi, 3 * std::numbers::pi / 2);
    cairo_close_path(cr);
}

namespace {

PangoLayout* makeLayout(cairo_t* cr, std::string_view text, double width, const TextStyle& style) {
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, fontFamily);
    pango_font_description_set_weight(font, style.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_absolute_size(font, style.sizePx * PANGO_SCALE);
    pango_layout_set_font_description(layout, font);
    pango_font_description_free(font);
    pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
    pango_layout_set_width(layout, static_cast<int>(width * PANGO_SCALE));
    pango_layout_set_alignment(layout, style.align == TextAlign::center  ? PANGO_ALIGN_CENTER
                                       : style.align == TextAlign::right ? PANGO_ALIGN_RIGHT
                                                                         : PANGO_ALIGN_LEFT);
    return layout;
}

} // namespace

double drawWrappedText(cairo_t* cr, std::string_view text, double x, double y, double width, double height,
                       const TextStyle& style) {
    PangoLayout* layout = makeLayout(cr, text, width, style);
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    pango_layout_set_height(layout, static_cast<int>(height * PANGO_SCALE));
    pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
    int w = 0;
    int h = 0;
    pango_layout_get_pixel_size(layout, &w, &h);
    cairo_move_to(cr, x, y);
    setColor(cr, style.color, style.alpha);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
    return h;
}

void drawText(cairo_t* cr, std::string_view text, double x, double y, double width, const TextStyle& style) {
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, fontFamily);
    pango_font_description_set_weight(font, style.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_absolute_size(font, style.sizePx * PANGO_SCALE);
    pango_layout_set_font_description(layout, font);
    pango_font_description_free(font);
    pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
    pango_layout_set_width(layout, static_cast<int>(width * PANGO_SCALE));
    pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
    pango_layout_set_alignment(layout, style.align == TextAlign::center  ? PANGO_ALIGN_CENTER
                                       : style.align == TextAlign::right ? PANGO_ALIGN_RIGHT
                                                                         : PANGO_ALIGN_LEFT);
    if (style.shadow) {
        cairo_move_to(cr, x, y + style.sizePx * 0.06);
        cairo_set_source_rgba(cr, 0, 0, 0, 0.45 * style.alpha);
        pango_cairo_show_layout(cr, layout);
    }
    cairo_move_to(cr, x, y);
    setColor(cr, style.color, style.alpha);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
}

} // namespace Engine
