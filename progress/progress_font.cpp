#include "progress_font.h"

#include <QFont>
#include <QStringList>

QFont progressFont()
{
    // The drill's list: SimSun is rarely installed on Linux, and fontconfig's own fallback is a
    // Japanese sans face.
    QFont font;
    font.setFamilies({"SimSun", "NSimSun", "Noto Serif CJK SC", "Source Han Serif SC",
                      "AR PL UMing CN", "WenQuanYi Micro Hei"});
    font.setPointSizeF(9);
    return font;
}
