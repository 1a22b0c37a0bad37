// Where the controls of the system screens and apps sit, as fractions of the picture (x right,
// y down, 0..1). The automation that drives the phone aims at some of them by fixed position (the
// search pill at (0.5, 0.82), Spotlight's top hit at (0.18, 0.18), the keyboard's open key at
// (0.78, 0.90), the jiggle-mode Done at (0.92, 0.07)), so they live here once and both hit tests
// and painters read them. Constants only; any thread.
#pragma once

#include "Engine/PhoneLayout.h"

#include <optional>
#include <string>
#include <vector>

namespace Engine::ScreenGeometry {

// A rectangle in picture fractions.
constexpr Rect frac(double x, double y, double w, double h) {
    return Rect{x, y, w, h};
}
inline Rect toPixels(const Rect& r, double width, double height) {
    return Rect{r.x * width, r.y * height, r.width * width, r.height * height};
}

// Bottom-edge and top-edge gestures.
inline constexpr double bottomEdge = 0.92;     // a swipe up starting below this goes home
inline constexpr double bottomSwipeTravel = 0.15;
inline constexpr uint64_t slowSwipeNs = 600'000'000; // a home swipe this slow opens the app switcher
inline constexpr double topEdge = 0.06;        // a swipe down from above this, right half: control centre
inline constexpr double topSwipeTravel = 0.10;

// Home screen.
inline constexpr Rect searchPill = frac(0.33, 0.80, 0.34, 0.04);
inline constexpr Rect jiggleDone = frac(0.80, 0.045, 0.18, 0.05);

// Spotlight.
inline constexpr Rect spotlightField = frac(0.04, 0.075, 0.76, 0.045);
inline constexpr Rect spotlightCancel = frac(0.81, 0.075, 0.17, 0.045);
inline constexpr Rect topHitHeader = frac(0.05, 0.128, 0.9, 0.02);
inline constexpr Rect topHitRow = frac(0.03, 0.15, 0.94, 0.07);
inline constexpr double resultsTop = 0.26;
inline constexpr double resultRowHeight = 0.06;
inline constexpr int maxResults = 5;
inline Rect resultRow(int index) {
    return frac(0.03, resultsTop + 0.03 + index * resultRowHeight, 0.94, resultRowHeight);
}

// On-screen keyboard: four rows, the bottom one with 123, space and the return key ("open" in
// Spotlight) whose middle is near (0.82, 0.90).
inline constexpr double keyboardTop = 0.645;
inline constexpr double keyHeight = 0.058;
struct KeyCap {
    std::string label;  // what is drawn
    std::string output; // typed text; "\b" backspace, "\n" return, "" none (shift, 123)
    Rect rect;
};
const std::vector<KeyCap>& keyboardKeys();
std::optional<KeyCap> keyAt(double x, double y);
inline constexpr Rect returnKey = frac(0.655, 0.871, 0.33, 0.058);

// App switcher: one card per recent app, most recent in the middle.
inline constexpr Rect switcherCard = frac(0.15, 0.2, 0.7, 0.55);
inline constexpr double switcherPitch = 0.75;

// Control centre: tiles over a dimmed screen.
struct Tile {
    const char* label;
    Rect rect;
};
const std::vector<Tile>& controlTiles();

// App title bars and content.
inline constexpr Rect backButton = frac(0.0, 0.064, 0.35, 0.06);
inline constexpr Rect appContentTop = frac(0.0, 0.125, 1.0, 0.0);
// Notes: the note body.
inline constexpr Rect noteBody = frac(0.04, 0.13, 0.92, 0.5);
// Messages: bubbles, compose field and Send button (moved above the keyboard while typing).
inline constexpr Rect composeField = frac(0.04, 0.80, 0.70, 0.05);
inline constexpr Rect sendButton = frac(0.76, 0.80, 0.20, 0.05);
inline constexpr double composeAboveKeyboard = keyboardTop - 0.065;
// Settings: rows of the list, and the password screen's field.
inline constexpr double settingsRowsTop = 0.15;
inline constexpr double settingsRowHeight = 0.065;
inline constexpr Rect settingsList = frac(0.0, 0.13, 1.0, 0.72);
inline constexpr Rect passwordField = frac(0.05, 0.20, 0.90, 0.055);
// Safari: the address field.
inline constexpr Rect addressField = frac(0.04, 0.075, 0.92, 0.05);
// Calculator: display and a 5 × 4 keypad that ends above the bottom bar.
inline constexpr Rect calculatorDisplay = frac(0.05, 0.22, 0.90, 0.12);
inline constexpr double calculatorKeysTop = 0.40;
inline constexpr double calculatorKeyPitch = 0.09;
extern const char* const calculatorKeys[5][4];
Rect calculatorKey(int row, int column);
// Photos (landscape picture fractions): the back button and the favourite heart.
inline constexpr Rect photosBack = frac(0.0, 0.0, 0.22, 0.16);
inline constexpr Rect photosFavorite = frac(0.86, 0.80, 0.14, 0.20);

} // namespace Engine::ScreenGeometry
