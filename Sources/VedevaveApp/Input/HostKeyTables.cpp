#include "VedevaveApp/Input/HostKeyTables.h"

#include <algorithm>

namespace VedevaveApp {

namespace {

std::optional<uint16_t> lookUp(std::span<const KeyCodeUsage> table, uint16_t keyCode) {
    const auto found =
        std::find_if(table.begin(), table.end(), [&](const auto& entry) { return entry.keyCode == keyCode; });
    return found == table.end() ? std::nullopt : std::optional<uint16_t>(found->usage);
}

// macOS virtual key codes. Code 36 (Return) is deliberately only in the special table.
constexpr KeyCodeUsage macLetterDigitPunctuation[] = {
    {0, 0x04},  {1, 0x16},  {2, 0x07},  {3, 0x09},  {4, 0x0B},  {5, 0x0A},  {6, 0x1D},  {7, 0x1B},
    {8, 0x06},  {9, 0x19},  {10, 0x64}, {11, 0x05}, {12, 0x14}, {13, 0x1A}, {14, 0x08}, {15, 0x15},
    {16, 0x1C}, {17, 0x17}, {18, 0x1E}, {19, 0x1F}, {20, 0x20}, {21, 0x21}, {22, 0x23}, {23, 0x22},
    {24, 0x2E}, {25, 0x26}, {26, 0x24}, {27, 0x2D}, {28, 0x25}, {29, 0x27}, {30, 0x30}, {31, 0x12},
    {32, 0x18}, {33, 0x2F}, {34, 0x0C}, {35, 0x13}, {37, 0x0F}, {38, 0x0D}, {39, 0x34}, {40, 0x0E},
    {41, 0x33}, {42, 0x31}, {43, 0x36}, {44, 0x38}, {45, 0x11}, {46, 0x10}, {47, 0x37}, {48, 0x2B},
    {49, 0x2C}, {50, 0x35},
};

constexpr KeyCodeUsage macSpecial[] = {
    {36, 0x28},  {76, 0x28},  {48, 0x2B},  {49, 0x2C},  {51, 0x2A},  {53, 0x29},  {57, 0x39},  {122, 0x3A},
    {120, 0x3B}, {99, 0x3C},  {118, 0x3D}, {96, 0x3E},  {97, 0x3F},  {98, 0x40},  {100, 0x41}, {101, 0x42},
    {109, 0x43}, {103, 0x44}, {111, 0x45}, {114, 0x49}, {115, 0x4A}, {116, 0x4B}, {117, 0x4C}, {119, 0x4D},
    {121, 0x4E}, {123, 0x50}, {124, 0x4F}, {125, 0x51}, {126, 0x52},
};

// The same keys as evdev key codes (linux/input-event-codes.h), mapped to the same usages.
constexpr KeyCodeUsage linuxLetterDigitPunctuation[] = {
    {30, 0x04} /* A */,     {31, 0x16} /* S */,     {32, 0x07} /* D */,     {33, 0x09} /* F */,
    {35, 0x0B} /* H */,     {34, 0x0A} /* G */,     {44, 0x1D} /* Z */,     {45, 0x1B} /* X */,
    {46, 0x06} /* C */,     {47, 0x19} /* V */,     {86, 0x64} /* 102ND */, {48, 0x05} /* B */,
    {16, 0x14} /* Q */,     {17, 0x1A} /* W */,     {18, 0x08} /* E */,     {19, 0x15} /* R */,
    {21, 0x1C} /* Y */,     {20, 0x17} /* T */,     {2, 0x1E} /* 1 */,      {3, 0x1F} /* 2 */,
    {4, 0x20} /* 3 */,      {5, 0x21} /* 4 */,      {7, 0x23} /* 6 */,      {6, 0x22} /* 5 */,
    {13, 0x2E} /* EQUAL */, {10, 0x26} /* 9 */,     {8, 0x24} /* 7 */,      {12, 0x2D} /* MINUS */,
    {9, 0x25} /* 8 */,      {11, 0x27} /* 0 */,     {27, 0x30} /* ] */,     {24, 0x12} /* O */,
    {22, 0x18} /* U */,     {26, 0x2F} /* [ */,     {23, 0x0C} /* I */,     {25, 0x13} /* P */,
    {38, 0x0F} /* L */,     {36, 0x0D} /* J */,     {40, 0x34} /* ' */,     {37, 0x0E} /* K */,
    {39, 0x33} /* ; */,     {43, 0x31} /* \ */,     {51, 0x36} /* , */,     {53, 0x38} /* / */,
    {49, 0x11} /* N */,     {50, 0x10} /* M */,     {52, 0x37} /* . */,     {15, 0x2B} /* TAB */,
    {57, 0x2C} /* SPACE */, {41, 0x35} /* GRAVE */,
};

constexpr KeyCodeUsage linuxSpecial[] = {
    {28, 0x28} /* ENTER */,     {96, 0x28} /* KPENTER */, {15, 0x2B} /* TAB */,      {57, 0x2C} /* SPACE */,
    {14, 0x2A} /* BACKSPACE */, {1, 0x29} /* ESC */,      {58, 0x39} /* CAPSLOCK */, {59, 0x3A} /* F1 */,
    {60, 0x3B} /* F2 */,        {61, 0x3C} /* F3 */,      {62, 0x3D} /* F4 */,       {63, 0x3E} /* F5 */,
    {64, 0x3F} /* F6 */,        {65, 0x40} /* F7 */,      {66, 0x41} /* F8 */,       {67, 0x42} /* F9 */,
    {68, 0x43} /* F10 */,       {87, 0x44} /* F11 */,     {88, 0x45} /* F12 */,      {110, 0x49} /* INSERT */,
    {102, 0x4A} /* HOME */,     {104, 0x4B} /* PAGEUP */, {111, 0x4C} /* DELETE */,  {107, 0x4D} /* END */,
    {109, 0x4E} /* PAGEDOWN */, {105, 0x50} /* LEFT */,   {106, 0x4F} /* RIGHT */,   {108, 0x51} /* DOWN */,
    {103, 0x52} /* UP */,
};

} // namespace

namespace MacHID {
std::span<const KeyCodeUsage> letterDigitPunctuationTable() {
    return macLetterDigitPunctuation;
}
std::span<const KeyCodeUsage> specialTable() {
    return macSpecial;
}
std::optional<uint16_t> letterDigitPunctuation(uint16_t keyCode) {
    return lookUp(macLetterDigitPunctuation, keyCode);
}
std::optional<uint16_t> specialUsage(uint16_t keyCode) {
    return lookUp(macSpecial, keyCode);
}
} // namespace MacHID

namespace LinuxHID {
std::span<const KeyCodeUsage> letterDigitPunctuationTable() {
    return linuxLetterDigitPunctuation;
}
std::span<const KeyCodeUsage> specialTable() {
    return linuxSpecial;
}
std::optional<uint16_t> letterDigitPunctuation(uint16_t keyCode) {
    return lookUp(linuxLetterDigitPunctuation, keyCode);
}
std::optional<uint16_t> specialUsage(uint16_t keyCode) {
    return lookUp(linuxSpecial, keyCode);
}
} // namespace LinuxHID

} // namespace VedevaveApp
