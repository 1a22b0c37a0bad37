// Paints a generic app screen: a light background, a title bar with the app's name, and the app's
// icon and name in the middle. The next issue replaces it per app (Notes, Calculator, ...) and
// keeps it as the fallback for apps without a screen of their own. Io thread only.
#pragma once

#include "Engine/AppCatalog.h"
#include "Engine/CairoText.h"
#include "Engine/IconCache.h"
#include "Engine/PhoneLayout.h"

namespace Engine {

class AppScreenPainter {
public:
    AppScreenPainter(const PhoneLayout& layout, const AppCatalog& catalog, const IconCache& icons)
        : layout_(layout), catalog_(catalog), icons_(icons) {}

    void paint(cairo_t* cr, int appIndex) const;

private:
    const PhoneLayout& layout_;
    const AppCatalog& catalog_;
    const IconCache& icons_;
};

} // namespace Engine
