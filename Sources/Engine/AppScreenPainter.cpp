#include "Engine/AppScreenPainter.h"

#include "Engine/ScreenGeometry.h"

#include <numbers>

namespace Engine {

namespace G = ScreenGeometry;

namespace {
constexpr uint32_t backgroundColor = 0xF2F2F7;
constexpr uint32_t titleBarColor = 0xF9F9F9;
constexpr uint32_t separatorColor = 0xC6C6C8;
constexpr uint32_t titleColor = 0x000000;
constexpr uint32_t captionColor = 0x6C6C70;
constexpr uint32_t accent = 0x007AFF;
constexpr double titlePt = 17;
constexpr double bodyPt = 18;
constexpr double namePt = 34;
constexpr double captionPt = 15;
constexpr const char* captionText = "Simulated app";
constexpr const char* backToSettings = "\xE2\x80\xB9 Settings";
constexpr const char* backToFolders = "\xE2\x80\xB9 Folders";
constexpr const char* backToLibrary = "\xE2\x80\xB9 Library";
constexpr const char* doneLabel = "Done";
} // namespace

Rect AppScreenPainter::px(const Rect& f) const {
    return G::toPixels(f, layout_.width(), layout_.height());
}

void AppScreenPainter::paint(cairo_t* cr, const PhoneModel& model) const {
    const AppInfo* app = model.currentApp();
    setColor(cr, backgroundColor);
    cairo_paint(cr);
    if (app == nullptr) {
        return;
    }
    if (app->bundleId == AppId::notes) {
        paintNotes(cr, model);
    } else if (app->bundleId == AppId::messages) {
        paintMessages(cr, model);
    } else if (app->bundleId == AppId::settings) {
        paintSettings(cr, model);
    } else if (app->bundleId == AppId::calculator) {
        paintCalculator(cr, model);
    } else if (app->bundleId == AppId::safari) {
        paintSafari(cr, model);
    } else {
        paintGeneric(cr, *model.currentAppIndex());
    }
}

void AppScreenPainter::paintTitleBar(cairo_t* cr, const std::string& title, const char* back,
                                     const char* action) const {
    const double width = layout_.width();
    const Rect bar = layout_.titleBar();
    setColor(cr, titleBarColor);
    cairo_rectangle(cr, 0, 0, width, bar.y + bar.height);
    cairo_fill(cr);
    setColor(cr, separatorColor);
    cairo_rectangle(cr, 0, bar.y + bar.height - layout_.points(0.5), width, layout_.points(0.5));
    cairo_fill(cr);
    TextStyle style;
    style.sizePx = layout_.points(titlePt);
    style.bold = true;
    style.color = titleColor;
    style.align = TextAlign::center;
    const double y = bar.y + (bar.height - style.sizePx * 1.2) / 2;
    drawText(cr, title, width * 0.25, y, width * 0.5, style);
    style.bold = false;
    style.color = accent;
    if (back != nullptr) {
        style.align = TextAlign::left;
        drawText(cr, back, layout_.points(10), y, width * 0.3, style);
    }
    if (action != nullptr) {
        style.align = TextAlign::right;
        style.bold = true;
        drawText(cr, action, width * 0.7, y, width * 0.3 - layout_.points(14), style);
    }
}

void AppScreenPainter::paintGeneric(cairo_t* cr, int appIndex) const {
    const AppInfo& app = catalog_.apps().at(static_cast<size_t>(appIndex));
    const double width = layout_.width();
    paintTitleBar(cr, app.name, nullptr, nullptr);
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

void AppScreenPainter::paintNotes(cairo_t* cr, const PhoneModel& model) const {
    setColor(cr, 0xFFFFFF);
    cairo_paint(cr);
    const bool editing = model.focusedField() == FieldName::note;
    paintTitleBar(cr, "Notes", backToFolders, editing ? doneLabel : nullptr);
    const Rect body = px(G::noteBody);
    const std::string& text = model.apps().field(FieldName::note)->text();
    TextStyle style;
    style.sizePx = layout_.points(bodyPt);
    style.color = text.empty() ? 0xAEAEB2 : titleColor;
    const double bottom = editing ? G::keyboardTop * layout_.height() : body.y + body.height;
    drawWrappedText(cr, text.empty() ? notePlaceholder : text + (editing ? "|" : ""), body.x, body.y + layout_.points(8),
                    body.width, bottom - body.y - layout_.points(8), style);
}

void AppScreenPainter::paintMessages(cairo_t* cr, const PhoneModel& model) const {
    setColor(cr, 0xFFFFFF);
    cairo_paint(cr);
    paintTitleBar(cr, PhoneApps::messagesContact, "\xE2\x80\xB9", nullptr);
    const double w = layout_.width();
    const double h = layout_.height();
    TextStyle bubbleText;
    bubbleText.sizePx = layout_.points(17);
    const bool typing = model.isKeyboardVisible();
    const double composeTop = (typing ? G::composeAboveKeyboard : G::composeField.y) * h;
    // Bubbles from the top; the newest stay visible by dropping the oldest when space runs out.
    const auto& messages = model.apps().messages();
    const double lineHeight = layout_.points(44);
    const size_t fits = static_cast<size_t>((composeTop - G::appContentTop.y * h - layout_.points(20)) / lineHeight);
    const size_t first = messages.size() > fits ? messages.size() - fits : 0;
    double y = G::appContentTop.y * h + layout_.points(16);
    for (size_t i = first; i < messages.size(); ++i) {
        const auto& m = messages[i];
        const double bubbleWidth = w * 0.68;
        const double x = m.isFromMe ? w - bubbleWidth - layout_.points(12) : layout_.points(12);
        roundedRectangle(cr, x, y, bubbleWidth, lineHeight - layout_.points(8), layout_.points(17));
        setColor(cr, m.isFromMe ? accent : 0xE9E9EB);
        cairo_fill(cr);
        bubbleText.color = m.isFromMe ? 0xFFFFFF : titleColor;
        drawText(cr, m.text, x + layout_.points(12), y + layout_.points(8), bubbleWidth - layout_.points(24),
                 bubbleText);
        y += lineHeight;
    }
    const Rect field{G::composeField.x * w, composeTop, G::composeField.width * w, G::composeField.height * h};
    roundedRectangle(cr, field.x, field.y, field.width, field.height, field.height / 2);
    setColor(cr, 0xFFFFFF);
    cairo_fill_preserve(cr);
    cairo_set_line_width(cr, layout_.points(1));
    setColor(cr, separatorColor);
    cairo_stroke(cr);
    const std::string& compose = model.apps().field(FieldName::compose)->text();
    TextStyle input = bubbleText;
    input.color = compose.empty() ? 0xAEAEB2 : titleColor;
    drawText(cr, compose.empty() ? composePlaceholder : compose, field.x + layout_.points(14),
             field.centerY() - input.sizePx * 0.62, field.width - layout_.points(24), input);
    const Rect send{G::sendButton.x * w, composeTop, G::sendButton.width * w, G::sendButton.height * h};
    roundedRectangle(cr, send.x, send.y, send.width, send.height, send.height / 2);
    setColor(cr, accent);
    cairo_fill(cr);
    TextStyle sendStyle = input;
    sendStyle.color = 0xFFFFFF;
    sendStyle.bold = true;
    sendStyle.align = TextAlign::center;
    drawText(cr, sendLabel, send.x, send.centerY() - sendStyle.sizePx * 0.62, send.width, sendStyle);
}

void AppScreenPainter::paintSettings(cairo_t* cr, const PhoneModel& model) const {
    const double w = layout_.width();
    const double h = layout_.height();
    TextStyle row;
    row.sizePx = layout_.points(18);
    row.color = titleColor;
    if (model.apps().settingsPage() == "password") {
        paintTitleBar(cr, "Passwords", backToSettings, nullptr);
        TextStyle label = row;
        label.color = captionColor;
        label.sizePx = layout_.points(14);
        const Rect field = px(G::passwordField);
        drawText(cr, passwordLabel, field.x, field.y - layout_.points(24), field.width, label);
        roundedRectangle(cr, field.x, field.y, field.width, field.height, layout_.points(10));
        setColor(cr, 0xFFFFFF);
        cairo_fill(cr);
        const std::string& secret = model.apps().field(FieldName::password)->text();
        std::string dots;
        for (char c : secret) {
            if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
                dots += "\xE2\x80\xA2"; // one bullet per character
            }
        }
        TextStyle value = row;
        value.color = secret.empty() ? 0xAEAEB2 : titleColor;
        drawText(cr, secret.empty() ? passwordLabel : dots, field.x + layout_.points(14),
                 field.centerY() - row.sizePx * 0.62, field.width - layout_.points(28), value);
        return;
    }
    // The rows scroll under the title bar, so they are clipped to the list.
    const Rect list = px(G::settingsList);
    cairo_save(cr);
    cairo_rectangle(cr, list.x, list.y, list.width, list.height);
    cairo_clip(cr);
    const auto& rows = PhoneApps::settingsRows();
    const double rowHeight = G::settingsRowHeight * h;
    for (size_t i = 0; i < rows.size(); ++i) {
        const double y = (G::settingsRowsTop - model.apps().settingsScroll()) * h + static_cast<double>(i) * rowHeight;
        if (y + rowHeight < list.y || y > list.y + list.height) {
            continue;
        }
        setColor(cr, 0xFFFFFF);
        cairo_rectangle(cr, layout_.points(16), y, w - layout_.points(32), rowHeight - layout_.points(1));
        cairo_fill(cr);
        drawText(cr, rows[i], layout_.points(32), y + (rowHeight - row.sizePx * 1.25) / 2, w * 0.7, row);
        TextStyle chevron = row;
        chevron.color = 0xC4C4C7;
        chevron.align = TextAlign::right;
        drawText(cr, "\xE2\x80\xBA", w * 0.7, y + (rowHeight - row.sizePx * 1.25) / 2, w * 0.3 - layout_.points(30),
                 chevron);
    }
    cairo_restore(cr);
    paintTitleBar(cr, "Settings", nullptr, nullptr);
}

void AppScreenPainter::paintCalculator(cairo_t* cr, const PhoneModel& model) const {
    setColor(cr, 0x000000);
    cairo_paint(cr);
    const Rect display = px(G::calculatorDisplay);
    TextStyle digits;
    digits.sizePx = layout_.points(64);
    digits.color = 0xFFFFFF;
    digits.align = TextAlign::right;
    std::string shown = model.apps().calculator().display();
    for (auto [from, to] : {std::pair{"*", "\xC3\x97"}, std::pair{"/", "\xC3\xB7"}}) {
        for (size_t at = shown.find(from); at != std::string::npos; at = shown.find(from)) {
            shown.replace(at, 1, to);
        }
    }
    drawText(cr, shown, display.x, display.y, display.width, digits);
    TextStyle key;
    key.sizePx = layout_.points(30);
    key.color = 0xFFFFFF;
    key.align = TextAlign::center;
    for (int r = 0; r < 5; ++r) {
        for (int c = 0; c < 4; ++c) {
            const char* label = G::calculatorKeys[r][c];
            Rect k = px(G::calculatorKey(r, c));
            if (*label == '\0') {
                continue;
            }
            if (r == 4 && c == 0) {
                k.width = px(G::calculatorKey(r, 1)).x + k.width - k.x; // the wide 0
            }
            roundedRectangle(cr, k.x, k.y, k.width, k.height, k.height / 2);
            setColor(cr, c == 3 ? 0xFF9F0A : r == 0 ? 0xA5A5A5 : 0x333333);
            cairo_fill(cr);
            drawText(cr, label, k.x, k.centerY() - key.sizePx * 0.62, k.width, key);
        }
    }
}

void AppScreenPainter::paintSafari(cairo_t* cr, const PhoneModel& model) const {
    setColor(cr, 0xFFFFFF);
    cairo_paint(cr);
    const Rect field = px(G::addressField);
    roundedRectangle(cr, field.x, field.y, field.width, field.height, layout_.points(10));
    setColor(cr, 0xE3E3E8);
    cairo_fill(cr);
    const std::string& address = model.apps().field(FieldName::address)->text();
    const bool editing = model.focusedField() == FieldName::address;
    TextStyle text;
    text.sizePx = layout_.points(17);
    text.color = address.empty() ? 0x8E8E93 : titleColor;
    text.align = editing ? TextAlign::left : TextAlign::center;
    drawText(cr, address.empty() ? addressPlaceholder : address + (editing ? "|" : ""), field.x + layout_.points(12),
             field.centerY() - text.sizePx * 0.62, field.width - layout_.points(24), text);
    const std::string& page = model.apps().safariPage();
    if (!page.empty() && !editing) {
        TextStyle heading;
        heading.sizePx = layout_.points(28);
        heading.bold = true;
        heading.color = titleColor;
        drawWrappedText(cr, page, layout_.points(20), layout_.height() * 0.2, layout_.width() - layout_.points(40),
                        layout_.height() * 0.3, heading);
    }
}

void AppScreenPainter::paintPhotos(cairo_t* cr, double width, double height, bool isFavorite) const {
    // A landscape: sky, sun, mountains and a lake, so a viewer can tell which way is up.
    cairo_pattern_t* sky = cairo_pattern_create_linear(0, 0, 0, height * 0.6);
    cairo_pattern_add_color_stop_rgb(sky, 0, 0.98, 0.62, 0.35);
    cairo_pattern_add_color_stop_rgb(sky, 1, 0.99, 0.85, 0.62);
    cairo_set_source(cr, sky);
    cairo_paint(cr);
    cairo_pattern_destroy(sky);
    cairo_arc(cr, width * 0.7, height * 0.38, height * 0.1, 0, 2 * std::numbers::pi);
    cairo_set_source_rgb(cr, 1, 0.95, 0.75);
    cairo_fill(cr);
    cairo_move_to(cr, 0, height * 0.6);
    cairo_line_to(cr, width * 0.2, height * 0.3);
    cairo_line_to(cr, width * 0.42, height * 0.52);
    cairo_line_to(cr, width * 0.6, height * 0.25);
    cairo_line_to(cr, width, height * 0.6);
    cairo_close_path(cr);
    cairo_set_source_rgb(cr, 0.33, 0.3, 0.45);
    cairo_fill(cr);
    cairo_rectangle(cr, 0, height * 0.6, width, height * 0.4);
    cairo_set_source_rgb(cr, 0.2, 0.42, 0.62);
    cairo_fill(cr);

    const double unit = height / 390.0; // points of the short side
    cairo_rectangle(cr, 0, 0, width, G::photosBack.height * height * 0.6);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.35);
    cairo_fill(cr);
    TextStyle bar;
    bar.sizePx = 17 * unit;
    bar.color = 0xFFFFFF;
    drawText(cr, backToLibrary, 14 * unit, 10 * unit, width * 0.2, bar);
    bar.align = TextAlign::center;
    bar.bold = true;
    drawText(cr, photoTitle, width * 0.3, 10 * unit, width * 0.4, bar);
    const Rect heart = G::toPixels(G::photosFavorite, width, height);
    TextStyle mark;
    mark.sizePx = 40 * unit;
    mark.color = isFavorite ? 0xFF2D55 : 0xFFFFFF;
    mark.align = TextAlign::center;
    mark.shadow = true;
    drawText(cr, isFavorite ? "\xE2\x99\xA5" : "\xE2\x99\xA1", heart.x, heart.centerY() - mark.sizePx * 0.62, heart.width,
             mark);
}

} // namespace Engine
