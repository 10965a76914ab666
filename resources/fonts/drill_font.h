#pragma once

#include <QFont>

// The programs' font: a Chinese serif face at the given size. SimSun is asked for first, with
// faces Linux systems have after it, since fontconfig's own fallback is a Japanese sans face.
QFont drillFont(double points, QFont::Weight weight = QFont::Normal);
