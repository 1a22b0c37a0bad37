// Pure tests of what typing does on the virtual phone: the layouts' characters for the usages the
// application sends, text fields that stay valid UTF-8, and the calculator's arithmetic.
#include "Engine/Calculator.h"
#include "Engine/KeyboardLayout.h"
#include "Engine/TextField.h"

#include <gtest/gtest.h>

using namespace Engine;

TEST(KeyboardLayout, PrintsWhatTheApplicationResolvedForEachLayout) {
    struct Case {
        KeyboardLayoutKind layout;
        uint16_t usage;
        uint8_t mods;
        const char* expected; // nullptr: nothing printed
    };
    const Case cases[] = {
        {KeyboardLayoutKind::us, 0x08, 0, "e"},
        {KeyboardLayoutKind::us, 0x08, KeyMods::shift, "E"},
        {KeyboardLayoutKind::us, 0x1F, KeyMods::shift, "@"},
        {KeyboardLayoutKind::us, 0x34, KeyMods::shift, "\""},
        {KeyboardLayoutKind::us, 0x04, KeyMods::command, nullptr}, // shortcuts print nothing
        {KeyboardLayoutKind::fr, 0x14, 0, "a"},
        {KeyboardLayoutKind::fr, 0x04, 0, "q"},
        {KeyboardLayoutKind::fr, 0x33, 0, "m"},
        {KeyboardLayoutKind::fr, 0x10, 0, ","},
        {KeyboardLayoutKind::fr, 0x10, KeyMods::shift, "?"},
        {KeyboardLayoutKind::fr, 0x1E, 0, "!"},
        {KeyboardLayoutKind::fr, 0x22, KeyMods::shift, "5"},
        {KeyboardLayoutKind::fr, 0x1F, 0, "\xC3\xA9"},                 // é
        {KeyboardLayoutKind::fr, 0x27, KeyMods::option, "@"},
        {KeyboardLayoutKind::fr, 0x37, KeyMods::shift, "/"},
        {KeyboardLayoutKind::de, 0x1D, 0, "y"},
        {KeyboardLayoutKind::de, 0x1C, KeyMods::shift, "Z"},
        {KeyboardLayoutKind::de, 0x2D, KeyMods::shift, "_"},
        {KeyboardLayoutKind::de, 0x36, KeyMods::shift, ";"},
        {KeyboardLayoutKind::de, 0x37, KeyMods::shift, ":"},
        {KeyboardLayoutKind::de, 0x99, 0, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(keyboardLayoutName(c.layout)) + " usage " + std::to_string(c.usage));
        const auto printed = KeyboardLayout(c.layout).character(c.usage, c.mods);
        if (c.expected == nullptr) {
            EXPECT_FALSE(printed.has_value());
        } else {
            EXPECT_EQ(printed.value_or("<none>"), c.expected);
        }
    }
    EXPECT_EQ(parseKeyboardLayout(" FR "), KeyboardLayoutKind::fr);
    EXPECT_FALSE(parseKeyboardLayout("azerty").has_value());
}

TEST(TextField, KeepsValidUtf8AndWholeCharacters) {
    TextField field;
    field.insert("caf\xC3\xA9");
    field.moveLeft(); // before é, not inside it
    field.insert("x");
    EXPECT_EQ(field.text(), "cafx\xC3\xA9");
    field.moveToEnd();
    field.backspace();
    EXPECT_EQ(field.text(), "cafx");
    field.insert("\xFF\xC3"); // two stray bytes
    EXPECT_EQ(field.text(), "cafx\xEF\xBF\xBD\xEF\xBF\xBD");
    field.setText("a\r\nb\nc");
    EXPECT_EQ(field.text(), "a b c"); // one line
    TextField note(true);
    note.insert(std::string(TextField::maxBytes + 10, 'n'));
    EXPECT_EQ(note.text().size(), TextField::maxBytes);
    EXPECT_FALSE(note.insert("more"));
}

TEST(Calculator, EvaluatesWithPrecedenceAndShowsErrors) {
    const std::pair<const char*, const char*> cases[] = {
        {"12+3*4", "24"}, {"10/4", "2.5"}, {"7-10", "-3"}, {"-2*3", "-6"},
        {"1/0", "Error"}, {"0.1+0.2", "0.3"}, {"5", "5"},
    };
    for (auto [expression, result] : cases) {
        EXPECT_EQ(Calculator::evaluate(expression), result) << expression;
    }
    Calculator calc;
    for (const char* key : {"9", "+", "\xC3\x97", "2", "=", "+", "1", "="}) { // a second operator replaces the first
        calc.press(key);
    }
    EXPECT_EQ(calc.display(), "19");
    calc.press("4"); // a digit after a result starts over
    EXPECT_EQ(calc.display(), "4");
    calc.press(".");
    EXPECT_FALSE(calc.press(".")); // one decimal point per number
}
