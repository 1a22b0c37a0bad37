// Paints the on-screen keyboard over the bottom of the screen: letter rows, shift, backspace,
// 123, space and the return key, which reads "open" in Spotlight. Io thread only.
#pragma once

#include "Engine/CairoText.h"
#include "Engine/PhoneLayout.h"

#include <string>

namespace Engine {

class KeyboardPainter {
public:
    explicit KeyboardPainter(const PhoneLayout& layout) : layout_(layout) {}

    void paint(cairo_t* cr, const std::string& returnLabel, bool isShiftArmed) const;

private:
    const PhoneLayout& layout_;
};

} // namespace Engine
