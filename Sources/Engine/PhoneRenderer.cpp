#include "Engine/PhoneRenderer.h"

namespace Engine {

namespace {
constexpr double statusTextPt = 16;
constexpr uint32_t darkInk = 0x000000;
constexpr uint32_t lightInk = 0xFFFFFF;
constexpr const char* openKeyLabel = "open";
constexpr const char* searchKeyLabel = "search";
constexpr const char* returnKeyLabel = "return";
constexpr const char* sendKeyLabel = "send";
constexpr const char* goKeyLabel = "go";
} // namespace

PhoneRenderer::PhoneRenderer(const PhoneLayout& layout, const AppCatalog& catalog)
    : layout_(layout), icons_(catalog, layout.iconSize(), layout.cornerRadius()), home_(layout, catalog, icons_),
      app_(layout, catalog, icons_), system_(layout, catalog, icons_, home_.wallpaper()), keyboard_(layout) {}

void PhoneRenderer::render(const PhoneModel& model, cairo_surface_t* target) const {
    CairoContext context(cairo_create(target));
    cairo_t* cr = context.get();
    const double width = cairo_image_surface_get_width(target);
    const double height = cairo_image_surface_get_height(target);
    if (model.isLandscape()) {
        app_.paintPhotos(cr, width, height, model.apps().isPhotoFavorite());
    } else {
        bool darkContent = false;
        bool showsIndicator = true;
        switch (model.baseScreen()) {
        case ScreenKind::lock:
            system_.paintLock(cr, model);
            showsIndicator = false;
            break;
        case ScreenKind::home:
            home_.paint(cr, model.pressedApp());
            showsIndicator = false;
            break;
        case ScreenKind::jiggle:
            home_.paint(cr, std::nullopt, true);
            system_.paintJiggleDone(cr);
            showsIndicator = false;
            break;
        case ScreenKind::spotlight:
            system_.paintSpotlight(cr, model);
            darkContent = true;
            break;
        case ScreenKind::app:
            app_.paint(cr, model);
            darkContent = model.focusedField() != FieldName::calculator;
            break;
        case ScreenKind::switcher:
        case ScreenKind::controlCenter:
            system_.paintSwitcher(cr, model);
            break;
        }
        if (model.isKeyboardVisible()) {
            const std::string& field = model.focusedField();
            const char* label = field == FieldName::spotlight ? (model.spotlightResults().empty() ? searchKeyLabel
                                                                                                   : openKeyLabel)
                                : field == FieldName::compose ? sendKeyLabel
                                : field == FieldName::address ? goKeyLabel
                                                              : returnKeyLabel;
            keyboard_.paint(cr, label, model.isShiftArmed());
        }
        if (model.screen() == ScreenKind::controlCenter) {
            system_.paintControlCenter(cr, model);
            darkContent = false;
        }
        if (model.isDisplayOn()) {
            drawStatusBar(cr, model.clockText(), darkContent);
            if (showsIndicator && !model.isKeyboardVisible()) {
                drawHomeIndicator(cr, darkContent);
            }
        }
    }
    if (model.isVolumeIndicatorVisible() && model.isDisplayOn()) {
        system_.paintVolume(cr, model, width, height);
    }
    if (model.transitionProgress() < 1) {
        // The new screen fades in from a dim veil: cheap, and plainly "not settled" to a viewer.
        cairo_set_source_rgba(cr, 0, 0, 0, 0.5 * (1 - model.transitionProgress()));
        cairo_paint(cr);
    }
    cairo_surface_flush(target);
}

void PhoneRenderer::drawStatusBar(cairo_t* cr, const std::string& time, bool darkContent) const {
    const uint32_t ink = darkContent ? darkInk : lightInk;
    const Rect bar = layout_.statusBar();
    TextStyle style;
    style.sizePx = layout_.points(statusTextPt);
    style.bold = true;
    style.color = ink;
    style.align = TextAlign::center;
    drawText(cr, time, layout_.points(20), bar.height * 0.32, layout_.points(70), style);

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
    roundedRectangle(cr, bx + layout_.points(2), by + layout_.points(2), layout_.points(17), layout_.points(8),
                     layout_.points(2));
    cairo_fill(cr);
    cairo_rectangle(cr, bx + layout_.points(26), by + layout_.points(4), layout_.points(1.5), layout_.points(4));
    cairo_fill(cr);
}

void PhoneRenderer::drawHomeIndicator(cairo_t* cr, bool darkContent) const {
    const Rect r = layout_.homeIndicator();
    roundedRectangle(cr, r.x, r.y, r.width, r.height, r.height / 2);
    setColor(cr, darkContent ? darkInk : lightInk);
    cairo_fill(cr);
}

} // namespace Engine
