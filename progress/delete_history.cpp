#include "delete_history.h"

#include "history_fault_reason.h"
#include "history_store.h"
#include "sqlite_statement.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

QString deleteHistory(const QString &path)
{
    // Opening would create a missing file, and make a history of an empty one.
    const QFileInfo file(path);
    if (!file.exists())
        return historyFaultReason(HistoryFault::CannotCreateFolder);
    if (file.isFile() && file.size() == 0)
        return {};
    HistoryFault fault = HistoryFault::None;
    const std::unique_ptr<HistoryStore> store =
        HistoryStore::open(QFile::encodeName(path).toStdString(), fault, {});
    if (!store)
        return historyFaultReason(fault);
    sqlite3 *db = store->handle();
    if (execute(db, "BEGIN IMMEDIATE; DELETE FROM keys; DELETE FROM runs; COMMIT") != SQLITE_OK) {
        const QString reason =
            historyFaultReason(store->lastFault(), QString::fromUtf8(sqlite3_errmsg(db)));
        execute(db, "ROLLBACK");
        return reason;
    }
    // The deleted rows would otherwise linger in the file's free pages; a reader still open
    // elsewhere only postpones this, so its failure is no failure of the delete.
    execute(db, "VACUUM");
    store->checkpoint();
    return {};
}
