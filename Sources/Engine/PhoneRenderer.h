// Draws the phone's current screen into a BGRA Cairo image surface: the screen's painter, the
// keyboard when a field takes text, then the status bar, the home indicator and the volume
// indicator on top; during a screen transition the new screen rises out of a veil. Static parts
// (wallpaper, icons, the home layer) are cached at construction, so a full redraw is a blit plus a
// little text. Io thread only.
#pragma once

#include "Engine/AppScreenPainter.h"
#include "Engine/HomeScreenPainter.h"
#include "Engine/IconCache.h"
#include "Engine/KeyboardPainter.h"
#include "Engine/PhoneModel.h"
#include "Engine/SystemScreenPainter.h"

namespace Engine {

class PhoneRenderer {
public:
    PhoneRenderer(const PhoneLayout& layout, const AppCatalog& catalog);

    // Full redraw of `model`'s screen into `target`: layout-sized in portrait, the layout turned
    // on its side when the model is in landscape (CAIRO_FORMAT_ARGB32).
    void render(const PhoneModel& model, cairo_surface_t* target) const;

private:
    void drawStatusBar(cairo_t* cr, const std::string& time, bool darkContent) const;
    void drawHomeIndicator(cairo_t* cr, bool darkContent) const;

    const PhoneLayout& layout_;
    IconCache icons_;
    HomeScreenPainter home_;
    AppScreenPainter app_;
    SystemScreenPainter system_;
    KeyboardPainter keyboard_;
};

} // namespace Engine
