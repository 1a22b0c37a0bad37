#include "Engine/Calculator.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <vector>

namespace Engine {

namespace {

constexpr const char* errorText = "Error";

bool isOperator(char c) {
    return c == '+' || c == '-' || c == '*' || c == '/';
}

std::string formatNumber(double value) {
    if (!std::isfinite(value)) {
        return errorText;
    }
    if (value == 0) {
        return "0"; // never "-0"
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.10g", value);
    return buffer;
}

// The ASCII operator a key stands for, or 0.
char operatorOf(const std::string& key) {
    if (key == "+" || key == "-" || key == "*" || key == "/") {
        return key[0];
    }
    if (key == "\xC3\x97" || key == "x" || key == "X") { // ×
        return '*';
    }
    if (key == "\xC3\xB7") { // ÷
        return '/';
    }
    if (key == "\xE2\x88\x92") { // −
        return '-';
    }
    return 0;
}

} // namespace

std::string Calculator::evaluate(const std::string& expression) {
    // Numbers and operators; a leading minus belongs to the first number.
    std::vector<double> numbers;
    std::vector<char> operators;
    size_t i = 0;
    auto readNumber = [&](double& out) {
        const size_t start = i;
        if (i < expression.size() && expression[i] == '-') {
            ++i;
        }
        while (i < expression.size() && (std::isdigit(static_cast<unsigned char>(expression[i])) || expression[i] == '.')) {
            ++i;
        }
        if (i == start) {
            return false;
        }
        try {
            out = std::stod(expression.substr(start, i - start));
        } catch (...) {
            return false;
        }
        return true;
    };
    double value = 0;
    if (!readNumber(value)) {
        return errorText;
    }
    numbers.push_back(value);
    while (i < expression.size()) {
        const char op = expression[i++];
        if (!isOperator(op) || !readNumber(value)) {
            return errorText;
        }
        if (op == '*' || op == '/') {
            if (op == '/' && value == 0) {
                return errorText;
            }
            numbers.back() = op == '*' ? numbers.back() * value : numbers.back() / value;
        } else {
            operators.push_back(op);
            numbers.push_back(value);
        }
    }
    double result = numbers[0];
    for (size_t k = 0; k < operators.size(); ++k) {
        result = operators[k] == '+' ? result + numbers[k + 1] : result - numbers[k + 1];
    }
    return formatNumber(result);
}

bool Calculator::press(const std::string& key) {
    const std::string before = display_;
    if (key == "C" || key == "c" || key == "AC") {
        display_ = "0";
        showsResult_ = false;
    } else if (key == "=" || key == "\n" || key == "\r") {
        display_ = evaluate(display_);
        showsResult_ = true;
    } else if (const char op = operatorOf(key)) {
        if (display_ == errorText) {
            display_ = "0";
        }
        if (isOperator(display_.back()) && display_.size() > 1) {
            display_.back() = op; // a second operator replaces the first
        } else if (display_ == "0" && op == '-') {
            display_ = "-";
        } else if (display_ != "-") {
            display_.push_back(op);
        }
        showsResult_ = false;
    } else if (key.size() == 1 && (std::isdigit(static_cast<unsigned char>(key[0])) || key[0] == '.')) {
        if (showsResult_ || display_ == errorText) {
            display_ = "0";
            showsResult_ = false;
        }
        // The number being typed: after the last operator (a leading minus is part of it).
        const size_t opAt = display_.find_last_of("+-*/", std::string::npos);
        const std::string current = opAt == std::string::npos || opAt == 0 ? display_ : display_.substr(opAt + 1);
        if (key == "." && current.find('.') != std::string::npos) {
            return false;
        }
        if (display_ == "0" && key != ".") {
            display_ = key;
        } else if (display_.size() < 40) {
            display_ += key;
        }
    } else if (key == "%" || key == "\xC2\xB1") { // ± negates, % divides by 100: on a result only
        const std::string value = evaluate(display_);
        if (value != errorText) {
            const double v = std::stod(value);
            display_ = formatNumber(key == "%" ? v / 100 : -v);
            showsResult_ = true;
        }
    }
    return display_ != before;
}

} // namespace Engine
