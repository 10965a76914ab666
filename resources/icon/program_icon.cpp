#include "program_icon.h"

#include <QIcon>
#include <QString>

QIcon programIcon()
{
    QIcon icon;
    for (const int size : {32, 48, 64, 128, 256})
        icon.addFile(QString(":/icons/typing-drill-%1.png").arg(size));
    return icon;
}
