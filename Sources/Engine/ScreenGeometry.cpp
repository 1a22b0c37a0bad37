#include "Engine/ScreenGeometry.h"

namespace Engine::ScreenGeometry {

namespace {

std::vector<KeyCap> makeKeys() {
    std::vector<KeyCap> keys;
    const double pitch = 0.1;
    const double keyWidth = 0.088;
    auto row = [&](const std::string& letters, double left, int index) {
        for (size_t i = 0; i < letters.size(); ++i) {
            const std::string letter(1, letters[i]);
            keys.push_back({letter, letter,
                            frac(left + static_cast<double>(i) * pitch, keyboardTop + 0.01 + index * 0.072,
                                 keyWidth, keyHeight)});
        }
    };
    row("qwertyuiop", 0.006, 0);
    row("asdfghjkl", 0.056, 1);
    row("zxcvbnm", 0.156, 2);
    const double third = keyboardTop + 0.01 + 2 * 0.072;
    keys.push_back({"\xE2\x87\xA7", "", frac(0.006, third, 0.13, keyHeight)});   // shift
    keys.push_back({"\xE2\x8C\xAB", "\b", frac(0.864, third, 0.13, keyHeight)}); // backspace
    const double bottom = returnKey.y;
    keys.push_back({"123", "", frac(0.006, bottom, 0.17, keyHeight)});
    keys.push_back({"space", " ", frac(0.185, bottom, 0.46, keyHeight)});
    keys.push_back({"return", "\n", returnKey});
    return keys;
}

} // namespace

const std::vector<KeyCap>& keyboardKeys() {
    static const std::vector<KeyCap> keys = makeKeys();
    return keys;
}

std::optional<KeyCap> keyAt(double x, double y) {
    for (const auto& key : keyboardKeys()) {
        // A little slack between keys so a tap in a gap still types the nearer key.
        const Rect r{key.rect.x - 0.006, key.rect.y - 0.007, key.rect.width + 0.012, key.rect.height + 0.014};
        if (r.contains(x, y)) {
            return key;
        }
    }
    return std::nullopt;
}

const std::vector<Tile>& controlTiles() {
    static const std::vector<Tile> tiles = {
        {"Wi-Fi", frac(0.08, 0.14, 0.19, 0.085)},        {"Bluetooth", frac(0.30, 0.14, 0.19, 0.085)},
        {"Airplane", frac(0.08, 0.24, 0.19, 0.085)},     {"Flashlight", frac(0.30, 0.24, 0.19, 0.085)},
        {"Volume", frac(0.55, 0.14, 0.17, 0.185)},      {"Brightness", frac(0.76, 0.14, 0.17, 0.185)},
    };
    return tiles;
}

const char* const calculatorKeys[5][4] = {
    {"C", "\xC2\xB1", "%", "\xC3\xB7"},
    {"7", "8", "9", "\xC3\x97"},
    {"4", "5", "6", "\xE2\x88\x92"},
    {"1", "2", "3", "+"},
    {"0", "", ".", "="},
};

Rect calculatorKey(int row, int column) {
    const double size = 0.2;
    return frac(0.04 + column * 0.235, calculatorKeysTop + row * calculatorKeyPitch, size, calculatorKeyPitch * 0.88);
}

} // namespace Engine::ScreenGeometry
