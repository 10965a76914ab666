#include "twips.h"

#include <cmath>

namespace {
constexpr double twipsPerInch = 1440;
}

int twipsToPixels(int twips, double dotsPerInch)
{
    return static_cast<int>(std::lround(twips * dotsPerInch / twipsPerInch));
}
