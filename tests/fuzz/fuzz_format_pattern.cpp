// libFuzzer target: formatPattern for any double and both patterns never crashes, writes only
// what the pattern allows, and reads back to within half a cent of the value.
#include "format_pattern.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// "0", or digits with no leading zero and an optional fraction of one or two digits, the last
// not zero, or a fraction alone: "45", "38.3", ".67", "-.13".
const std::regex numberGrammar(R"(0|-?([1-9][0-9]*(\.[0-9]?[1-9])?|\.[0-9]?[1-9]))");

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < sizeof(double) + 1)
        return 0;
    double value;
    std::memcpy(&value, data, sizeof value);
    const bool percent = data[sizeof value] & 1;

    const std::string text = formatPattern(value, percent ? "##.##%" : "##.##");
    std::string number = text;
    if (percent) {
        check(text.ends_with('%'));
        number.pop_back();
    }
    check(std::regex_match(number, numberGrammar));

    const double shown = percent ? value * 100 : value;
    if (!std::isfinite(shown)) {
        check(number == "0");
        return 0;
    }
    const double readBack = std::strtod(number.c_str(), nullptr);
    const double ulp = std::nextafter(std::fabs(shown), HUGE_VAL) - std::fabs(shown);
    check(std::fabs(readBack - shown) <= 0.005 + ulp);
    return 0;
}
