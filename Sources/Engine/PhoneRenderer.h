// Draws the phone's current screen into a BGRA Cairo image surface: the screen's painter, then the
// status bar and home indicator on top. Static parts (wallpaper, icons, the home layer) are cached
// at construction, so a full redraw is a blit plus a little text. Io thread only.
#pragma once

#include "Engine/AppScreenPainter.h"
#include "Engine/HomeScreenPainter.h"
#include "Engine/IconCache.h"
#include "Engine/PhoneModel.h"

namespace Engine {

class PhoneRenderer {
public:
    static constexpr const char* statusBarTime = "9:41";

    PhoneRenderer(const PhoneLayout& layout, const AppCatalog& catalog);

    // Full redraw of `model`'s screen into `target` (layout-sized, CAIRO_FORMAT_ARGB32).
    void render(const PhoneModel& model, cairo_surface_t* target) const;

private:
    void drawStatusBar(cairo_t* cr, bool darkContent) const;
    void drawHomeIndicator(cairo_t* cr, bool darkContent) const;

    const PhoneLayout& layout_;
    IconCache icons_;
    HomeScreenPainter home_;
    AppScreenPainter app_;
};

} // namespace Engine
