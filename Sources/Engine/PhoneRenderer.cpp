#include "Engine/PhoneRenderer.h"

namespace Engine {

namespace {
constexpr double statusTextPt = 16;
constexpr uint32_t darkInk = 0x000000;
constexpr uint32_t lightInk = 0xFFFFFF;
} // namespace

PhoneRenderer::PhoneRenderer(const PhoneLayout& layout, const AppCatalog& catalog)
    : layout_(layout), icons_(catalog, layout.iconSize(), layout.cornerRadius()),
      home_(layout, catalog, icons_), app_(layout, catalog, icons_) {}

void PhoneRenderer::render(const PhoneModel& model, cairo_surface_t* target) const {
    CairoContext context(cairo_create(target));
    cairo_t* cr = context.get();
    bool darkContent = false;
    switch (model.screen()) {
    case ScreenKind::home:
        home_.paint(cr, model.pressedApp());
        break;
    case ScreenKind::app:
        app_.paint(cr, *model.currentAppIndex());
        darkContent = true;
        break;
    }
    drawStatusBar(cr, darkContent);
    if (model.screen() != ScreenKind::home) {
        drawHomeIndicator(cr, darkContent);
    }
    cairo_surface_flush(target);
}

void PhoneRenderer::drawStatusBar(cairo_t* cr, bool darkContent) const {
    const uint32_t ink = darkContent ? darkInk : lightInk;
    const Rect bar = layout_.statusBar();
    TextStyle time;
    time.sizePx = layout_.points(statusTextPt);
    time.bold = true;
    time.color = ink;
    time.align = TextAlign::center;
    drawText(cr, statusBarTime, layout_.points(20), bar.height * 0.32, layout_.points(70), time);

    // Signal bars.
    setColor(cr, ink);
    const double barWidth = layout_.points(3);
    const double baseY = bar.height * 0.32 + layout_.points(14);
    double x = layout_.width() - layout_.points(86);
    for (int i = 0; i < 4; ++i) {
        const double h = layout_.points(4 + 2.5 * i);
        cairo_rectangle(cr, x + i * layout_.points(5), baseY - h, barWidth, h);
    }
    cairo_fill(cr);

    // Battery: outline, charge, cap.
    const double bx = layout_.width() - layout_.points(50);
    const double by = baseY - layout_.points(11.5);
    roundedRectangle(cr, bx, by, layout_.points(25), layout_.points(12), layout_.points(3.5));
    cairo_set_line_width(cr, layout_.points(1));
    setColor(cr, ink, 0.45);
    cairo_stroke(cr);
    setColor(cr, ink);
    roundedRectangle(cr, bx + layout_.points(2), by + layout_.points(2), layout_.points(17),
                     layout_.points(8), layout_.points(2));
    cairo_fill(cr);
    cairo_rectangle(cr, bx + layout_.points(26), by + layout_.points(4), layout_.points(1.5),
                    layout_.points(4));
    cairo_fill(cr);
}

void PhoneRenderer::drawHomeIndicator(cairo_t* cr, bool darkContent) const {
    const Rect r = layout_.homeIndicator();
    roundedRectangle(cr, r.x, r.y, r.width, r.height, r.height / 2);
    setColor(cr, darkContent ? darkInk : lightInk);
    cairo_fill(cr);
}

} // namespace Engine
