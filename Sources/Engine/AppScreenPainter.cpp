#include "Engine/AppScreenPainter.h"

namespace Engine {

namespace {
constexpr uint32_t backgroundColor = 0xF2F2F7;
constexpr uint32_t titleBarColor = 0xF9F9F9;
constexpr uint32_t separatorColor = 0xC6C6C8;
constexpr uint32_t titleColor = 0x000000;
constexpr uint32_t captionColor = 0x6C6C70;
constexpr double titlePt = 17;
constexpr double namePt = 34;
constexpr double captionPt = 15;
constexpr const char* captionText = "Simulated app";
} // namespace

void AppScreenPainter::paint(cairo_t* cr, int appIndex) const {
    const AppInfo& app = catalog_.apps().at(static_cast<size_t>(appIndex));
    const double width = layout_.width();

    setColor(cr, backgroundColor);
    cairo_paint(cr);

    // Title bar under the status bar, with a hairline below it.
    const Rect bar = layout_.titleBar();
    setColor(cr, titleBarColor);
    cairo_rectangle(cr, 0, 0, width, bar.y + bar.height);
    cairo_fill(cr);
    setColor(cr, separatorColor);
    cairo_rectangle(cr, 0, bar.y + bar.height - layout_.points(0.5), width, layout_.points(0.5));
    cairo_fill(cr);

    TextStyle title;
    title.sizePx = layout_.points(titlePt);
    title.bold = true;
    title.color = titleColor;
    title.align = TextAlign::center;
    drawText(cr, app.name, 0, bar.y + (bar.height - title.sizePx * 1.2) / 2, width, title);

    // Body: the icon, the name large, a caption.
    const double icon = layout_.iconSize();
    const double iconY = layout_.height() * 0.32;
    cairo_save(cr);
    cairo_translate(cr, (width - icon * 1.6) / 2, iconY);
    cairo_scale(cr, 1.6, 1.6);
    icons_.paint(cr, appIndex, 0, 0);
    cairo_restore(cr);

    TextStyle name;
    name.sizePx = layout_.points(namePt);
    name.bold = true;
    name.color = titleColor;
    name.align = TextAlign::center;
    drawText(cr, app.name, 0, iconY + icon * 1.6 + layout_.points(24), width, name);

    TextStyle caption;
    caption.sizePx = layout_.points(captionPt);
    caption.color = captionColor;
    caption.align = TextAlign::center;
    drawText(cr, captionText, 0, iconY + icon * 1.6 + layout_.points(72), width, caption);
    drawText(cr, app.bundleId, 0, iconY + icon * 1.6 + layout_.points(96), width, caption);
}

} // namespace Engine
