// Pre-rendered app icons (rounded gradient squares with a glyph), one Cairo surface per app, made
// once for the layout's icon size. The renderer paints them instead of redrawing. Io thread only.
#pragma once

#include "Engine/AppCatalog.h"
#include "Engine/CairoText.h"

#include <vector>

namespace Engine {

class IconCache {
public:
    IconCache(const AppCatalog& catalog, double iconSize, double cornerRadius);

    // The icon of app `appIndex`, iconSize × iconSize pixels (rounded up).
    cairo_surface_t* icon(int appIndex) const { return icons_.at(static_cast<size_t>(appIndex)).get(); }
    // Paints the icon with its top-left at (x, y).
    void paint(cairo_t* cr, int appIndex, double x, double y) const;

private:
    std::vector<CairoSurface> icons_;
};

} // namespace Engine
