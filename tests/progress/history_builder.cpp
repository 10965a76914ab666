#include "history_builder.h"

#include "history_schema.h"

#include <sqlite3.h>

HistoryBuilder::HistoryBuilder(const QString &path)
{
    sqlite3_open(path.toUtf8().constData(), &m_db);
    exec("PRAGMA journal_mode = WAL");
    historySchema::upgrade(m_db, 0);
}

HistoryBuilder::~HistoryBuilder()
{
    sqlite3_close(m_db);
}

qint64 HistoryBuilder::addRun(const QString &started, qint64 total, qint64 correct, double speed,
                              int ticks)
{
    exec(QStringLiteral("INSERT INTO runs (started, ended, ended_by, ticks, total, correct, wrong,"
                        " speed, accuracy) VALUES ('%1', '%1', 'exit', %2, %3, %4, %5, %6, %7)")
             .arg(started)
             .arg(ticks)
             .arg(total)
             .arg(correct)
             .arg(total - correct)
             .arg(speed)
             .arg(total ? 100.0 * double(correct) / double(total) : 0));
    return sqlite3_last_insert_rowid(m_db);
}

void HistoryBuilder::addKey(qint64 run, char letter, int keyCode, int releaseMs)
{
    exec(QStringLiteral("INSERT INTO keys VALUES (%1, %2, '%3', %4, %5, %6, %7)")
             .arg(run)
             .arg(++m_keys)
             .arg(QChar::fromLatin1(letter))
             .arg(keyCode)
             .arg(keyCode == letter ? 1 : 0)
             .arg(releaseMs - 80)
             .arg(releaseMs));
}

bool HistoryBuilder::exec(const QString &sql)
{
    return sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
}
