#include "format_pattern.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace {

// Enough fractional digits to write any finite double exactly: its binary fraction ends at most
// 1074 bits below one, and each bit needs one decimal digit.
constexpr int exactDigitsLimit = 1075;

// Fractional digits that write |value| exactly, so that rounding it by hand is exact too.
int exactFractionDigits(double value)
{
    int exponent = 0;
    std::frexp(value, &exponent);
    return std::clamp(53 - exponent, 3, exactDigitsLimit);
}

// Adds one to a string of decimal digits, growing it by a digit on overflow ("99" -> "100").
void incrementDigits(std::string &digits)
{
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it != '9') {
            ++*it;
            return;
        }
        *it = '0';
    }
    digits.insert(digits.begin(), '1');
}

} // namespace

std::string formatPattern(double value, std::string_view pattern)
{
    const bool percent = pattern.ends_with('%');
    const std::string suffix = percent ? "%" : "";
    if (percent)
        value *= 100;
    if (!std::isfinite(value))
        return "0" + suffix;

    const bool negative = std::signbit(value);
    const double magnitude = std::fabs(value);

    // 309 integer digits, the point and the exact fraction.
    std::array<char, 310 + 1 + exactDigitsLimit> buffer {};
    const auto written = std::to_chars(buffer.data(), buffer.data() + buffer.size(), magnitude,
                                       std::chars_format::fixed, exactFractionDigits(magnitude));
    const std::string_view exact(buffer.data(),
                                 static_cast<std::size_t>(written.ptr - buffer.data()));

    const std::size_t point = exact.find('.');
    std::string integerPart(exact.substr(0, point));
    std::string digits = integerPart + std::string(exact.substr(point + 1, 2));
    // The exact expansion is known, so a third digit of 5 or more means at least half: round up.
    if (exact[point + 3] >= '5')
        incrementDigits(digits);

    integerPart = digits.substr(0, digits.size() - 2);
    std::string fraction = digits.substr(digits.size() - 2);
    integerPart.erase(0, integerPart.find_first_not_of('0'));
    fraction.erase(fraction.find_last_not_of('0') + 1);

    std::string text = integerPart;
    if (!fraction.empty())
        text += "." + fraction;
    if (text.empty())
        return "0" + suffix;
    return (negative ? "-" : "") + text + suffix;
}
