#include "delete_history.h"

#include <memory>
#include <sqlite3.h>

QString deleteHistory(const QString &path)
{
    sqlite3 *raw = nullptr;
    const int opened =
        sqlite3_open_v2(path.toUtf8().constData(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    const std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db(raw, &sqlite3_close);
    if (opened != SQLITE_OK)
        return QString::fromUtf8(raw ? sqlite3_errmsg(raw) : sqlite3_errstr(opened));
    sqlite3_busy_timeout(db.get(), 2000);
    if (sqlite3_exec(db.get(),
                     "PRAGMA foreign_keys = ON; BEGIN IMMEDIATE; DELETE FROM keys;"
                     " DELETE FROM runs; COMMIT;",
                     nullptr, nullptr, nullptr)
        != SQLITE_OK) {
        const QString error = QString::fromUtf8(sqlite3_errmsg(db.get()));
        sqlite3_exec(db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        return error;
    }
    // The deleted rows would otherwise linger in the file's free pages; a reader still open
    // elsewhere only postpones this, so its failure is no failure of the delete.
    sqlite3_exec(db.get(), "VACUUM", nullptr, nullptr, nullptr);
    return {};
}
