#include "run_identity.h"

#include <QUuid>

namespace {

std::string text(const QUuid &uuid)
{
    return uuid.toByteArray(QUuid::WithoutBraces).toStdString();
}

} // namespace

std::string newRunUuid()
{
    return text(QUuid::createUuid());
}

std::string legacyRunUuid(std::string_view started)
{
    // Any fixed namespace will do; this one is the program's own.
    static const QUuid runs(QStringLiteral("6d1c2a4e-3f7b-4c1e-9a55-0e2f8b7d1c33"));
    return text(QUuid::createUuidV5(
        runs, QByteArray(started.data(), static_cast<qsizetype>(started.size()))));
}
