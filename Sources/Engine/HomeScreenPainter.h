// Paints the home screen: wallpaper, icon grid with labels, the search pill, the dock, the
// pressed-icon highlight, and in icon-editing mode the delete badges. Everything but the highlight
// and badges is drawn once into a cached layer and then blitted. Io thread only.
#pragma once

#include "Engine/CairoText.h"
#include "Engine/IconCache.h"
#include "Engine/PhoneLayout.h"

#include <optional>

namespace Engine {

class HomeScreenPainter {
public:
    HomeScreenPainter(const PhoneLayout& layout, const AppCatalog& catalog, const IconCache& icons);


    void paint(cairo_t* cr, std::optional<int> pressedApp, bool isEditing = false) const;

    // The wallpaper alone, shared with the screens that show it (lock screen, Spotlight, switcher).
    cairo_surface_t* wallpaper() const { return wallpaper_.get(); }

private:
    void drawWallpaper();
    void drawLayer(const AppCatalog& catalog, const IconCache& icons);

    const PhoneLayout& layout_;
    CairoSurface wallpaper_;
    CairoSurface layer_;
};

} // namespace Engine
