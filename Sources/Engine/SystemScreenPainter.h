// Paints the system screens that are not the home grid: the lock screen, Spotlight with its
// search field and live results, the app switcher's cards, the control centre's tiles over the
// screen below, the jiggle-mode Done button and the volume indicator. Io thread only.
#pragma once

#include "Engine/CairoText.h"
#include "Engine/IconCache.h"
#include "Engine/PhoneModel.h"

namespace Engine {

class SystemScreenPainter {
public:
    static constexpr const char* unlockHint = "swipe up to unlock";
    static constexpr const char* searchPlaceholder = "Search";
    static constexpr const char* topHitTitle = "Top Hit";
    static constexpr const char* applicationsTitle = "Applications";
    static constexpr const char* noRecentApps = "No Recent Apps";
    static constexpr const char* doneLabel = "Done";
    static constexpr const char* cancelLabel = "Cancel";

    SystemScreenPainter(const PhoneLayout& layout, const AppCatalog& catalog, const IconCache& icons,
                        cairo_surface_t* wallpaper)
        : layout_(layout), catalog_(catalog), icons_(icons), wallpaper_(wallpaper) {}

    void paintLock(cairo_t* cr, const PhoneModel& model) const;
    void paintSpotlight(cairo_t* cr, const PhoneModel& model) const;
    void paintSwitcher(cairo_t* cr, const PhoneModel& model) const;
    void paintControlCenter(cairo_t* cr, const PhoneModel& model) const;
    void paintJiggleDone(cairo_t* cr) const;
    void paintVolume(cairo_t* cr, const PhoneModel& model, double width, double height) const;

private:
    Rect px(const Rect& fraction) const;
    void paintAppRow(cairo_t* cr, int appIndex, const Rect& row, double iconScale) const;

    const PhoneLayout& layout_;
    const AppCatalog& catalog_;
    const IconCache& icons_;
    cairo_surface_t* wallpaper_;
};

} // namespace Engine
