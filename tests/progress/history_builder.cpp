#include "history_builder.h"

#include "learner_name.h"
#include "run_identity.h"

#include <QDateTime>

#include <sqlite3.h>

HistoryBuilder::HistoryBuilder(const QString &path, int layout)
    : m_layout(layout)
{
    sqlite3_open(path.toUtf8().constData(), &m_db);
    exec("PRAGMA journal_mode = WAL");
    // The first layout had no application id: it is known by its tables alone.
    if (layout == 1)
        exec(QString::fromUtf8(historySchema::stepTo(1)) + "PRAGMA user_version = 1;");
    else
        historySchema::upgrade(m_db, 0);
}

HistoryBuilder::~HistoryBuilder()
{
    sqlite3_close(m_db);
}

qint64 HistoryBuilder::addLearner(const QString &name)
{
    exec(QStringLiteral("INSERT INTO learners (name, name_key) VALUES ('%1', '%2')")
             .arg(name, learnerName::key(name)));
    m_learner = sqlite3_last_insert_rowid(m_db);
    return m_learner;
}

qint64 HistoryBuilder::addRun(const QString &started, qint64 total, qint64 correct, double speed,
                              int seconds, const QString &mode)
{
    const QString ended = QDateTime::fromString(started, Qt::ISODateWithMs)
                              .addSecs(seconds)
                              .toString(Qt::ISODateWithMs);
    exec(QStringLiteral("INSERT INTO runs (started, ended, ended_by, ticks, total, correct, wrong,"
                        " speed, accuracy) VALUES ('%1', '%2', 'exit', %3, %4, %5, %6, %7, %8)")
             .arg(started, ended)
             .arg(seconds * 10 % 32768)
             .arg(total)
             .arg(correct)
             .arg(total - correct)
             .arg(speed)
             .arg(total ? 100.0 * double(correct) / double(total) : 0));
    const qint64 id = sqlite3_last_insert_rowid(m_db);
    if (m_layout >= 2)
        exec(QStringLiteral("UPDATE runs SET uuid = '%1' WHERE id = %2")
                 .arg(QString::fromStdString(newRunUuid()))
                 .arg(id));
    if (m_layout >= 3)
        exec(QStringLiteral("UPDATE runs SET learner = %1, mode = '%2' WHERE id = %3")
                 .arg(m_learner)
                 .arg(mode)
                 .arg(id));
    return id;
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
