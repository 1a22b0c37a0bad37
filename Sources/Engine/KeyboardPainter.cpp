#include "Engine/KeyboardPainter.h"

#include "Engine/ScreenGeometry.h"

#include <cctype>

namespace Engine {

namespace G = ScreenGeometry;

namespace {
constexpr uint32_t keyboardBackground = 0xD1D3D9;
constexpr uint32_t letterKey = 0xFFFFFF;
constexpr uint32_t functionKey = 0xABB0BA;
constexpr uint32_t returnKeyColor = 0x007AFF;
constexpr uint32_t keyInk = 0x000000;
} // namespace

void KeyboardPainter::paint(cairo_t* cr, const std::string& returnLabel, bool isShiftArmed) const {
    const double w = layout_.width();
    const double h = layout_.height();
    setColor(cr, keyboardBackground);
    cairo_rectangle(cr, 0, G::keyboardTop * h, w, h - G::keyboardTop * h);
    cairo_fill(cr);

    TextStyle letter;
    letter.sizePx = layout_.points(22);
    letter.color = keyInk;
    letter.align = TextAlign::center;
    TextStyle small = letter;
    small.sizePx = layout_.points(15);
    for (const auto& key : G::keyboardKeys()) {
        const Rect r = G::toPixels(key.rect, w, h);
        const bool isLetter = key.output.size() == 1 && std::isalpha(static_cast<unsigned char>(key.output[0]));
        const bool isReturn = key.output == "\n";
        uint32_t fill = isLetter || key.output == " " ? letterKey : functionKey;
        if (isReturn) {
            fill = returnKeyColor;
        } else if (key.output.empty() && key.label != "123" && isShiftArmed) {
            fill = letterKey;
        }
        roundedRectangle(cr, r.x, r.y, r.width, r.height, layout_.points(5));
        setColor(cr, fill);
        cairo_fill(cr);
        std::string label = isReturn ? returnLabel : key.label;
        if (isLetter && isShiftArmed) {
            label[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(label[0])));
        }
        TextStyle style = isLetter ? letter : small;
        if (isReturn) {
            style.color = 0xFFFFFF;
            style.bold = true;
        }
        drawText(cr, label, r.x, r.y + (r.height - style.sizePx * 1.25) / 2, r.width, style);
    }
}

} // namespace Engine
