#pragma once

#include <QString>

struct sqlite3;

// A history database written by hand for the tests, in the drill's layout.
class HistoryBuilder
{
public:
    explicit HistoryBuilder(const QString &path);
    ~HistoryBuilder();
    HistoryBuilder(const HistoryBuilder &) = delete;
    HistoryBuilder &operator=(const HistoryBuilder &) = delete;

    // A finished run with no keys; gives its id.
    qint64 addRun(const QString &started, qint64 total, qint64 correct, double speed,
                  int ticks = 600);
    // One judged key of a run; n counts on by itself.
    void addKey(qint64 run, char letter, int keyCode, int releaseMs);
    // Runs SQL as is, giving false on an error.
    bool exec(const QString &sql);

private:
    sqlite3 *m_db = nullptr;
    qint64 m_keys = 0;
};
