#include "history_location.h"

#include <QDir>
#include <QStandardPaths>

QString defaultHistoryPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
        .filePath(QStringLiteral("history.sqlite"));
}
