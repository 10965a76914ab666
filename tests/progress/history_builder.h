#pragma once

#include "history_schema.h"

#include <QString>

struct sqlite3;

// A history database written by hand for the tests, in the drill's layout (or an older one).
class HistoryBuilder
{
public:
    explicit HistoryBuilder(const QString &path, int layout = historySchema::currentVersion);
    ~HistoryBuilder();
    HistoryBuilder(const HistoryBuilder &) = delete;
    HistoryBuilder &operator=(const HistoryBuilder &) = delete;

    // A learner of that name, whose are the runs added from now on; gives their id. Until then
    // runs are the first learner's, named after the account (layout 3 on).
    qint64 addLearner(const QString &name);
    // A finished run with no keys, ended `seconds` after it started; gives its id. Its ticks
    // wrap as the drill's counter does, after 54 min 36 s.
    qint64 addRun(const QString &started, qint64 total, qint64 correct, double speed,
                  int seconds = 60, const QString &mode = QStringLiteral("random"));
    // One judged key of a run; n counts on by itself.
    void addKey(qint64 run, char letter, int keyCode, int releaseMs);
    // Runs SQL as is, giving false on an error.
    bool exec(const QString &sql);

private:
    sqlite3 *m_db = nullptr;
    int m_layout;
    qint64 m_keys = 0;
    qint64 m_learner = 1;
};
