#pragma once

#include "sqlite_statement.h"

#include <QString>
#include <QStringList>

#include <sqlite3.h>

// A second connection to a history file, as another process would have it, for reading what the
// program wrote.
class HistoryDatabase
{
public:
    explicit HistoryDatabase(const QString &path)
    {
        sqlite3_open_v2(path.toUtf8().constData(), &m_db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        sqlite3_busy_timeout(m_db, 5000);
    }
    ~HistoryDatabase() { sqlite3_close_v2(m_db); }
    HistoryDatabase(const HistoryDatabase &) = delete;
    HistoryDatabase &operator=(const HistoryDatabase &) = delete;

    // Each row of a query, its columns joined by '|'; NULL shows as "-".
    QStringList rows(const char *sql) const
    {
        QStringList rows;
        SqliteStatement query(m_db, sql);
        while (query.step() == SQLITE_ROW) {
            QStringList columns;
            for (int column = 0; column < query.columnCount(); ++column)
                columns << (query.isNull(column) ? QStringLiteral("-")
                                                 : QString::fromStdString(query.text(column)));
            rows << columns.join('|');
        }
        return rows;
    }

    QString value(const char *sql) const { return rows(sql).value(0); }
    sqlite3 *handle() const { return m_db; }

private:
    sqlite3 *m_db = nullptr;
};
