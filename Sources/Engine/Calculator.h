// The Calculator app's arithmetic: an entry line of digits and operators that "=" evaluates with
// the usual precedence (× and ÷ before + and −). Division by zero shows "Error" rather than a
// number. Pure; io thread only.
#pragma once

#include <string>

namespace Engine {

class Calculator {
public:
    // What the display shows: the entry being typed, or the last result.
    const std::string& display() const { return display_; }

    // One key: a digit, ".", one of + - * / (also × ÷ −), "=" or Return, "C" (clear), "%" and
    // "±". Anything else is ignored. Returns whether the display changed.
    bool press(const std::string& key);

    static std::string evaluate(const std::string& expression);

private:
    std::string display_ = "0";
    bool showsResult_ = false;
};

} // namespace Engine
