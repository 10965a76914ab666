#pragma once

#include <QString>

// A Windows virtual-key code by what is printed on its key: "R", "1", "Shift", "空格", ";".
QString keyName(int keyCode);
