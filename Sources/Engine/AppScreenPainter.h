// Paints the app screens: Notes (the note being written), Messages (the conversation, compose
// field and Send), Settings (the list and its Passwords screen), Calculator, Safari (the address
// field and the loaded page), Photos (a landscape picture) and, for every other app, a generic
// screen with its icon and name. Io thread only.
#pragma once

#include "Engine/AppCatalog.h"
#include "Engine/CairoText.h"
#include "Engine/IconCache.h"
#include "Engine/PhoneModel.h"

namespace Engine {

class AppScreenPainter {
public:
    static constexpr const char* notePlaceholder = "Tap to start typing";
    static constexpr const char* composePlaceholder = "iMessage";
    static constexpr const char* sendLabel = "Send";
    static constexpr const char* passwordLabel = "Password";
    static constexpr const char* addressPlaceholder = "Search or enter website name";
    static constexpr const char* photoTitle = "Lake at Dawn";

    AppScreenPainter(const PhoneLayout& layout, const AppCatalog& catalog, const IconCache& icons)
        : layout_(layout), catalog_(catalog), icons_(icons) {}

    // A portrait app screen, for the model's current app.
    void paint(cairo_t* cr, const PhoneModel& model) const;
    // Photos in landscape, `width` × `height` pixels (width > height).
    void paintPhotos(cairo_t* cr, double width, double height, bool isFavorite) const;

private:
    void paintTitleBar(cairo_t* cr, const std::string& title, const char* back, const char* action) const;
    void paintGeneric(cairo_t* cr, int appIndex) const;
    void paintNotes(cairo_t* cr, const PhoneModel& model) const;
    void paintMessages(cairo_t* cr, const PhoneModel& model) const;
    void paintSettings(cairo_t* cr, const PhoneModel& model) const;
    void paintCalculator(cairo_t* cr, const PhoneModel& model) const;
    void paintSafari(cairo_t* cr, const PhoneModel& model) const;
    Rect px(const Rect& fraction) const;

    const PhoneLayout& layout_;
    const AppCatalog& catalog_;
    const IconCache& icons_;
};

} // namespace Engine
