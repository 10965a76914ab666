#include "drill_font.h"

#include <QStringList>

QFont drillFont(double points, QFont::Weight weight)
{
    QFont font;
    font.setFamilies({"SimSun", "NSimSun", "Noto Serif CJK SC", "Source Han Serif SC",
                      "AR PL UMing CN", "WenQuanYi Micro Hei"});
    font.setPointSizeF(points);
    font.setWeight(weight);
    return font;
}
