// Small Cairo/Pango helpers for the phone renderer: owning handles, colours, rounded rectangles
// and one-line text in DejaVu Sans. Whatever thread renders (the io thread).
#pragma once

#include <cairo.h>
#include <cstdint>
#include <memory>
#include <string_view>

namespace Engine {

struct CairoSurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct CairoContextDeleter {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};
using CairoSurface = std::unique_ptr<cairo_surface_t, CairoSurfaceDeleter>;
using CairoContext = std::unique_ptr<cairo_t, CairoContextDeleter>;

// An opaque-capable BGRA (CAIRO_FORMAT_ARGB32, little-endian B,G,R,A in memory) image surface.
CairoSurface makeImageSurface(int width, int height);

void setColor(cairo_t* cr, uint32_t rgb, double alpha = 1.0);
void roundedRectangle(cairo_t* cr, double x, double y, double width, double height, double radius);

enum class TextAlign { left, center, right };

struct TextStyle {
    double sizePx = 16;
    bool bold = false;
    uint32_t color = 0x000000;
    double alpha = 1.0;
    TextAlign align = TextAlign::left;
    bool shadow = false; // a soft dark shadow for text over the wallpaper
};

// Draws one line of text with its top-left at (x, y), within `width` (ellipsized when longer).
void drawText(cairo_t* cr, std::string_view text, double x, double y, double width, const TextStyle& style);

// Draws text that wraps at word boundaries within `width`, top-left at (x, y); lines past
// `height` are cut. Returns the height the text took.
double drawWrappedText(cairo_t* cr, std::string_view text, double x, double y, double width, double height,
                       const TextStyle& style);

} // namespace Engine
