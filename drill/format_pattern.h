#pragma once

#include <string>
#include <string_view>

// Renders a value with the number pattern "##.##" or, for a pattern ending in "%", "##.##%":
// a percent pattern first multiplies by 100. The value is rounded to two decimals, exact halves
// away from zero; every integer digit is kept but a lone leading zero is dropped (".67"), trailing
// fraction zeros are dropped, and so is the separator when the fraction is zero ("45", "100%").
// Zero is "0". The separator is always ".", whatever the user's locale. Values that are not finite
// cannot come from the drill's counts and are written "0".
std::string formatPattern(double value, std::string_view pattern);
