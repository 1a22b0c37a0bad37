// Paints the home screen: wallpaper, icon grid with labels, dock, and the pressed-icon highlight.
// Everything but the highlight is drawn once into a cached layer and then blitted. Io thread only.
#pragma once

#include "Engine/CairoText.h"
#include "Engine/IconCache.h"
#include "Engine/PhoneLayout.h"

#include <optional>

namespace Engine {

class HomeScreenPainter {
public:
    HomeScreenPainter(const PhoneLayout& layout, const AppCatalog& catalog, const IconCache& icons);

    void paint(cairo_t* cr, std::optional<int> pressedApp) const;

    // The wallpaper alone, shared with screens that show it (the next issue's lock screen).
    cairo_surface_t* wallpaper() const { return wallpaper_.get(); }

private:
    void drawWallpaper();
    void drawLayer(const AppCatalog& catalog, const IconCache& icons);

    const PhoneLayout& layout_;
    CairoSurface wallpaper_;
    CairoSurface layer_;
};

} // namespace Engine
