#include "Engine/SystemScreenPainter.h"

#include "Engine/ScreenGeometry.h"

#include <string>

namespace Engine {

namespace G = ScreenGeometry;

namespace {
constexpr uint32_t white = 0xFFFFFF;
constexpr uint32_t black = 0x000000;
constexpr uint32_t secondaryInk = 0x3C3C43;
constexpr uint32_t accent = 0x007AFF;
constexpr uint32_t tileOn = 0x007AFF;
constexpr const char* lockDate = "Monday, June 10";
} // namespace

Rect SystemScreenPainter::px(const Rect& f) const {
    return G::toPixels(f, layout_.width(), layout_.height());
}

void SystemScreenPainter::paintLock(cairo_t* cr, const PhoneModel& model) const {
    if (!model.isDisplayOn()) {
        setColor(cr, black);
        cairo_paint(cr);
        return;
    }
    cairo_set_source_surface(cr, wallpaper_, 0, 0);
    cairo_paint(cr);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.15);
    cairo_paint(cr);
    const double w = layout_.width();
    const double h = layout_.height();
    TextStyle date;
    date.sizePx = layout_.points(20);
    date.bold = true;
    date.color = white;
    date.align = TextAlign::center;
    date.shadow = true;
    drawText(cr, lockDate, 0, h * 0.11, w, date);
    TextStyle time = date;
    time.sizePx = layout_.points(86);
    drawText(cr, model.clockText(), 0, h * 0.135, w, time);
    TextStyle hint = date;
    hint.sizePx = layout_.points(17);
    hint.bold = false;
    drawText(cr, unlockHint, 0, h * 0.90, w, hint);
}

void SystemScreenPainter::paintAppRow(cairo_t* cr, int appIndex, const Rect& row, double iconScale) const {
    const double icon = layout_.iconSize() * iconScale;
    cairo_save(cr);
    cairo_translate(cr, row.x + layout_.points(8), row.centerY() - icon / 2);
    cairo_scale(cr, iconScale, iconScale);
    icons_.paint(cr, appIndex, 0, 0);
    cairo_restore(cr);
    TextStyle name;
    name.sizePx = layout_.points(20);
    name.color = black;
    const double textX = row.x + layout_.points(20) + icon;
    drawText(cr, catalog_.apps()[static_cast<size_t>(appIndex)].name, textX,
             row.centerY() - name.sizePx * 0.62, row.width - (textX - row.x), name);
}

void SystemScreenPainter::paintSpotlight(cairo_t* cr, const PhoneModel& model) const {
    cairo_set_source_surface(cr, wallpaper_, 0, 0);
    cairo_paint(cr);
    setColor(cr, 0xF2F2F7, 0.93);
    cairo_paint(cr);

    const Rect field = px(G::spotlightField);
    roundedRectangle(cr, field.x, field.y, field.width, field.height, layout_.points(10));
    setColor(cr, 0xE3E3E8);
    cairo_fill(cr);
    TextStyle text;
    text.sizePx = layout_.points(19);
    text.color = black;
    const std::string& query = model.apps().field(FieldName::spotlight)->text();
    const double textY = field.centerY() - text.sizePx * 0.62;
    if (query.empty()) {
        text.color = 0x8E8E93;
        drawText(cr, searchPlaceholder, field.x + layout_.points(12), textY, field.width, text);
    } else {
        drawText(cr, query + "|", field.x + layout_.points(12), textY, field.width - layout_.points(20), text);
    }
    const Rect cancel = px(G::spotlightCancel);
    TextStyle cancelStyle = text;
    cancelStyle.color = accent;
    cancelStyle.align = TextAlign::center;
    drawText(cr, cancelLabel, cancel.x, textY, cancel.width, cancelStyle);

    const auto results = model.spotlightResults();
    if (results.empty()) {
        return;
    }
    TextStyle header;
    header.sizePx = layout_.points(15);
    header.bold = true;
    header.color = secondaryInk;
    const Rect top = px(G::topHitHeader);
    drawText(cr, topHitTitle, top.x, top.y, top.width, header);
    const Rect hit = px(G::topHitRow);
    roundedRectangle(cr, hit.x, hit.y, hit.width, hit.height, layout_.points(12));
    setColor(cr, white);
    cairo_fill(cr);
    paintAppRow(cr, results[0], hit, 0.85);
    if (results.size() > 1) {
        drawText(cr, applicationsTitle, top.x, px(G::resultRow(0)).y - header.sizePx * 1.5, top.width, header);
    }
    for (int i = 0; i < G::maxResults && i + 1 < static_cast<int>(results.size()); ++i) {
        const Rect row = px(G::resultRow(i));
        setColor(cr, white);
        cairo_rectangle(cr, row.x, row.y, row.width, row.height);
        cairo_fill(cr);
        paintAppRow(cr, results[static_cast<size_t>(i) + 1], row, 0.65);
    }
}

void SystemScreenPainter::paintSwitcher(cairo_t* cr, const PhoneModel& model) const {
    cairo_set_source_surface(cr, wallpaper_, 0, 0);
    cairo_paint(cr);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.55);
    cairo_paint(cr);
    TextStyle title;
    title.sizePx = layout_.points(17);
    title.bold = true;
    title.color = white;
    title.align = TextAlign::center;
    if (model.recentApps().empty()) {
        drawText(cr, noRecentApps, 0, layout_.height() * 0.45, layout_.width(), title);
        return;
    }
    // Oldest first so the most recent card lies on top.
    for (size_t k = model.recentApps().size(); k-- > 0;) {
        const int appIndex = model.recentApps()[k];
        const Rect card = px(Rect{G::switcherCard.x - static_cast<double>(k) * G::switcherPitch, G::switcherCard.y,
                                  G::switcherCard.width, G::switcherCard.height});
        if (card.x + card.width < 0) {
            continue;
        }
        roundedRectangle(cr, card.x, card.y, card.width, card.height, layout_.points(24));
        setColor(cr, 0xF2F2F7);
        cairo_fill(cr);
        const double icon = layout_.iconSize() * 1.4;
        cairo_save(cr);
        cairo_translate(cr, card.centerX() - icon / 2, card.centerY() - icon);
        cairo_scale(cr, 1.4, 1.4);
        icons_.paint(cr, appIndex, 0, 0);
        cairo_restore(cr);
        TextStyle name = title;
        name.color = black;
        drawText(cr, catalog_.apps()[static_cast<size_t>(appIndex)].name, card.x, card.centerY() + layout_.points(12),
                 card.width, name);
        drawText(cr, catalog_.apps()[static_cast<size_t>(appIndex)].name, card.x,
                 card.y - layout_.points(28), card.width, title);
    }
}

void SystemScreenPainter::paintControlCenter(cairo_t* cr, const PhoneModel& model) const {
    cairo_set_source_rgba(cr, 0.05, 0.05, 0.1, 0.9);
    cairo_paint(cr);
    TextStyle label;
    label.sizePx = layout_.points(13);
    label.color = white;
    label.align = TextAlign::center;
    for (const auto& tile : G::controlTiles()) {
        const Rect r = px(tile.rect);
        const bool on = model.isTileOn(tile.label);
        roundedRectangle(cr, r.x, r.y, r.width, r.height, layout_.points(18));
        if (on) {
            setColor(cr, tileOn);
        } else {
            cairo_set_source_rgba(cr, 1, 1, 1, 0.22);
        }
        cairo_fill(cr);
        if (std::string(tile.label) == "Volume") {
            // The level fills the slider from below.
            const double level = model.isMuted() ? 0 : model.volume() / static_cast<double>(PhoneModel::maxVolume);
            roundedRectangle(cr, r.x, r.y + r.height * (1 - level), r.width, r.height * level, layout_.points(18));
            setColor(cr, white, 0.9);
            cairo_fill(cr);
        }
        // Sliders carry their name under them, where the level never covers it.
        const bool isSlider = r.height > r.width;
        drawText(cr, tile.label, r.x - layout_.points(8), isSlider ? r.y + r.height + layout_.points(6)
                                                                   : r.y + r.height / 2 - label.sizePx * 0.6,
                 r.width + layout_.points(16), label);
    }
}

void SystemScreenPainter::paintJiggleDone(cairo_t* cr) const {
    const Rect done = px(G::jiggleDone);
    roundedRectangle(cr, done.x, done.y, done.width, done.height, done.height / 2);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.85);
    cairo_fill(cr);
    TextStyle text;
    text.sizePx = layout_.points(16);
    text.bold = true;
    text.color = black;
    text.align = TextAlign::center;
    drawText(cr, doneLabel, done.x, done.centerY() - text.sizePx * 0.62, done.width, text);
}

void SystemScreenPainter::paintVolume(cairo_t* cr, const PhoneModel& model, double width, double height) const {
    // A slim pill at the left edge, filled to the level, with a speaker label under it.
    const double pillWidth = layout_.points(14);
    const double pillHeight = std::min(width, height) * 0.35;
    const double x = layout_.points(8);
    const double y = height * 0.18;
    roundedRectangle(cr, x, y, pillWidth, pillHeight, pillWidth / 2);
    cairo_set_source_rgba(cr, 0.2, 0.2, 0.2, 0.85);
    cairo_fill(cr);
    const double level = model.isMuted() ? 0 : model.volume() / static_cast<double>(PhoneModel::maxVolume);
    if (level > 0) {
        roundedRectangle(cr, x, y + pillHeight * (1 - level), pillWidth, pillHeight * level, pillWidth / 2);
        setColor(cr, white);
        cairo_fill(cr);
    }
    TextStyle text;
    text.sizePx = layout_.points(12);
    text.bold = true;
    text.color = white;
    text.shadow = true;
    drawText(cr, model.isMuted() ? "Muted" : std::to_string(model.volume()), x, y + pillHeight + layout_.points(6),
             layout_.points(60), text);
}

} // namespace Engine
