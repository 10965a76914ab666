#include "progress_reader.h"

#include "history_fault_reason.h"
#include "history_store.h"
#include "sqlite_statement.h"
#include "streak.h"

#include <QFile>

#include <algorithm>
#include <chrono>
#include <memory>
#include <sqlite3.h>
#include <stdexcept>
#include <string>

namespace {

constexpr int fastestMs = 40;
constexpr int slowestMs = 10000;
constexpr int busyTimeoutMs = 500;

// A failed SQLite call, carrying its result code and message.
struct SqliteError : std::runtime_error
{
    SqliteError(sqlite3 *db, int result)
        : std::runtime_error(db ? sqlite3_errmsg(db) : sqlite3_errstr(result))
        , code(result)
    {
    }
    int code;
};

// The history's statement, failing by exception: a read gives all its figures or none.
class Statement
{
public:
    Statement(sqlite3 *db, std::string_view sql)
        : m_db(db)
        , m_statement(db, sql)
    {
        if (!m_statement.isValid())
            throw SqliteError(db, m_statement.step());
    }

    Statement &bind(int index, const QString &text)
    {
        const QByteArray utf8 = text.toUtf8();
        m_statement.bind(index, std::string_view(utf8.constData(), std::size_t(utf8.size())));
        return *this;
    }
    Statement &bind(int index, qint64 value)
    {
        m_statement.bind(index, std::int64_t {value});
        return *this;
    }
    // Gives false when the statement has no more rows.
    bool step()
    {
        const int result = m_statement.step();
        if (result == SQLITE_ROW)
            return true;
        if (result != SQLITE_DONE)
            throw SqliteError(m_db, result);
        return false;
    }
    void reset() { m_statement.reset(); }
    qint64 integer(int column) const { return m_statement.integer(column); }
    double real(int column) const { return m_statement.real(column); }
    bool isNull(int column) const { return m_statement.isNull(column); }
    QString text(int column) const { return QString::fromStdString(m_statement.text(column)); }

private:
    sqlite3 *m_db;
    SqliteStatement m_statement;
};

QString dayText(QDate day)
{
    return day.toString(Qt::ISODate);
}

// Local days from `first` to `last`; without `first` from the beginning, without `last` on
// into the future.
struct Days
{
    QDate first;
    QDate last;
};

// The runs that started within the days, by local day: the stored times begin with it, so the
// index on `started` finds them. Binds ?1 and ?2.
std::string inDays(const Days &days)
{
    return days.last.isValid() ? "started >= ?1 AND started < ?2" : "started >= ?1";
}

void bindDays(Statement &statement, const Days &days)
{
    statement.bind(1, dayText(days.first));
    if (days.last.isValid())
        statement.bind(2, dayText(days.last.addDays(1)));
}

// A run's length in milliseconds, from its start to its end (the time of its last write while it
// goes on). The stored times carry their UTC offset, which julianday() applies. The drill's tick
// counter would not do: it wraps after 54 min 36 s.
constexpr std::string_view runMs =
    "max(0, coalesce(round((julianday(ended) - julianday(started)) * 86400000), 0))";

PeriodSummary readPeriod(sqlite3 *db, const Days &days)
{
    const std::string where = " FROM runs WHERE " + inDays(days);
    PeriodSummary period;
    Statement totals(db,
                     "SELECT count(*), coalesce(sum(" + std::string(runMs)
                         + "), 0), coalesce(sum(total), 0), coalesce(sum(correct), 0)" + where);
    bindDays(totals, days);
    totals.step();
    period.runs = int(totals.integer(0));
    period.practiceSeconds = totals.integer(1) / 1000;
    period.keys = totals.integer(2);
    period.correct = totals.integer(3);

    Statement count(db, "SELECT count(*)" + where + " AND total > 0");
    bindDays(count, days);
    count.step();
    const qint64 n = count.integer(0);
    if (n > 0) {
        Statement speeds(db,
                         "SELECT speed" + where
                             + " AND total > 0 ORDER BY speed LIMIT 2 - (?3 % 2)"
                               " OFFSET (?3 - 1) / 2");
        bindDays(speeds, days);
        speeds.bind(3, n);
        double sum = 0;
        int values = 0;
        while (speeds.step()) {
            sum += speeds.real(0);
            ++values;
        }
        period.medianSpeed = sum / values;
    }
    return period;
}

QList<QDate> readDays(sqlite3 *db)
{
    QList<QDate> days;
    Statement statement(db, "SELECT DISTINCT substr(started, 1, 10) FROM runs");
    while (statement.step())
        days.append(QDate::fromString(statement.text(0), Qt::ISODate));
    return days;
}

QList<RunListRow> readRuns(sqlite3 *db)
{
    QList<RunListRow> runs;
    Statement statement(db,
                        "SELECT id, started, " + std::string(runMs)
                            + ", total, correct, wrong, speed, accuracy, ended_by"
                              " FROM runs ORDER BY id");
    while (statement.step()) {
        RunListRow run;
        run.id = statement.integer(0);
        run.started = QDateTime::fromString(statement.text(1), Qt::ISODateWithMs);
        run.seconds = int(statement.integer(2) / 1000);
        run.total = statement.integer(3);
        run.correct = statement.integer(4);
        run.wrong = statement.integer(5);
        run.speed = statement.real(6);
        run.accuracy = statement.real(7);
        run.endedBy = statement.isNull(8) ? QString() : statement.text(8);
        runs.append(run);
    }
    return runs;
}

Days daysOf(ChartRange range, QDate today)
{
    switch (range) {
    case ChartRange::Week:
        return {today.addDays(-6), today};
    case ChartRange::Month:
        return {today.addDays(-29), today};
    case ChartRange::Year:
        return {today.addYears(-1).addDays(1), today};
    case ChartRange::All:
        break;
    }
    return {};
}

void readChart(sqlite3 *db, const Days &days, ProgressSnapshot &snapshot)
{
    const std::string where = " FROM runs WHERE " + inDays(days) + " AND total > 0";
    Statement count(db, "SELECT count(*)" + where);
    bindDays(count, days);
    count.step();
    snapshot.chartByDay = count.integer(0) > chartRunsPerPointLimit;
    // A day's speed weighs each run by its length; its accuracy counts every key of the day.
    const std::string weight = "max(" + std::string(runMs) + ", 1)";
    Statement points(db,
                     snapshot.chartByDay
                         ? "SELECT substr(started, 1, 10), count(*), sum(total), sum(speed * "
                             + weight + ") / sum(" + weight + "), 100.0 * sum(correct) / sum(total)"
                             + where + " GROUP BY substr(started, 1, 10) ORDER BY 1"
                         : "SELECT started, 1, total, speed, accuracy" + where
                             + " ORDER BY started");
    bindDays(points, days);
    while (points.step()) {
        ChartPoint point;
        point.when = snapshot.chartByDay
            ? QDate::fromString(points.text(0), Qt::ISODate).startOfDay().addSecs(12 * 3600)
            : QDateTime::fromString(points.text(0), Qt::ISODateWithMs);
        point.runs = int(points.integer(1));
        point.keys = points.integer(2);
        point.speed = points.real(3);
        point.accuracy = points.real(4);
        snapshot.chart.append(point);
    }
}

// Each letter's range of the index (letter, correct, key_code, release_ms) is read once for its
// counts; the reaction times are then found by seeking in it: the few answers out of bounds are
// counted off, and the medians found by stepping through the index, never by sorting.
void readLetters(sqlite3 *db, ProgressSnapshot &snapshot)
{
    Statement counts(db,
                     "SELECT correct, key_code, count(*) FROM keys WHERE letter = ?1"
                     " GROUP BY correct, key_code");
    const std::string correctKeys =
        " FROM keys WHERE letter = ?1 AND correct = 1 AND key_code = ?2";
    // Two ranges of the index, each found by a seek; an OR of both would scan the whole letter.
    Statement outOfBounds(db,
                          ("SELECT (SELECT count(*)" + correctKeys
                           + " AND release_ms < ?3) + (SELECT count(*)" + correctKeys
                           + " AND release_ms > ?4)")
                              .c_str());
    const std::string inBounds = correctKeys + " AND release_ms BETWEEN ?3 AND ?4";
    Statement best(db, ("SELECT min(release_ms)" + inBounds).c_str());
    Statement middle(db,
                     ("SELECT release_ms" + inBounds
                      + " ORDER BY release_ms LIMIT 2 - (?5 % 2) OFFSET (?5 - 1) / 2")
                         .c_str());
    const auto bindLetter = [](Statement &statement, const QString &letter, char code) {
        statement.reset();
        statement.bind(1, letter).bind(2, qint64(code)).bind(3, qint64(fastestMs));
        statement.bind(4, qint64(slowestMs));
    };
    QList<Confusion> confusions;
    for (char c = 'A'; c <= 'Z'; ++c) {
        const QString letter(QChar::fromLatin1(c));
        LetterRow row;
        row.letter = QChar::fromLatin1(c);
        qint64 correctOnItsKey = 0;
        counts.reset();
        counts.bind(1, letter);
        while (counts.step()) {
            const bool correct = counts.integer(0) == 1;
            const int keyCode = int(counts.integer(1));
            const qint64 count = counts.integer(2);
            row.asked += count;
            if (correct) {
                row.correct += count;
                if (keyCode == c)
                    correctOnItsKey = count;
                continue;
            }
            confusions.append({row.letter, keyCode, count});
            if (count > row.mostConfusedCount) {
                row.mostConfusedKey = keyCode;
                row.mostConfusedCount = count;
            }
        }
        bindLetter(outOfBounds, letter, c);
        outOfBounds.step();
        const qint64 n = correctOnItsKey - outOfBounds.integer(0);
        if (n > 0) {
            bindLetter(best, letter, c);
            best.step();
            row.bestMs = int(best.integer(0));
            bindLetter(middle, letter, c);
            middle.bind(5, n);
            qint64 sum = 0;
            int values = 0;
            while (middle.step()) {
                sum += middle.integer(0);
                ++values;
            }
            row.medianMs = int((sum + values / 2) / values);
        }
        snapshot.letters.append(row);
    }
    std::stable_sort(confusions.begin(), confusions.end(),
                     [](const Confusion &x, const Confusion &y) { return x.count > y.count; });
    snapshot.confusions = confusions.mid(0, 10);
}

bool hasHistoryTables(sqlite3 *db)
{
    Statement tables(db,
                     "SELECT count(*) FROM sqlite_schema WHERE type = 'table'"
                     " AND name IN ('runs', 'keys')");
    tables.step();
    return tables.integer(0) == 2;
}

QString reasonFor(const SqliteError &error)
{
    switch (error.code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return historyFaultReason(HistoryFault::Locked, error.what());
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return historyFaultReason(HistoryFault::Damaged, error.what());
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return historyFaultReason(HistoryFault::CannotWrite, error.what());
    default:
        return QStringLiteral("读取出错（%1）").arg(error.what());
    }
}

// The file is a history by now (or an empty file, which the drill would make one of).
ProgressSnapshot::State classify(sqlite3 *db, QString &reason)
{
    if (!hasHistoryTables(db)) {
        Statement version(db, "PRAGMA user_version");
        version.step();
        if (version.integer(0) == 0)
            return ProgressSnapshot::State::Empty;
        reason = historyFaultReason(HistoryFault::Damaged, QStringLiteral("缺少练习记录的表"));
        return ProgressSnapshot::State::Unreadable;
    }
    Statement any(db, "SELECT EXISTS (SELECT 1 FROM runs)");
    any.step();
    return any.integer(0) ? ProgressSnapshot::State::Ready : ProgressSnapshot::State::Empty;
}

} // namespace

ProgressSnapshot readProgress(const QString &path, QDate today, ChartRange range)
{
    ProgressSnapshot snapshot;
    // Recognised as the drill recognises it; read only, so that nothing is created, upgraded or
    // recovered.
    HistoryFault fault = HistoryFault::None;
    const std::unique_ptr<HistoryStore> store =
        HistoryStore::open(QFile::encodeName(path).toStdString(), fault,
                           {std::chrono::milliseconds(busyTimeoutMs), nullptr, true});
    if (!store) {
        // Read only, a missing file is one the folder could not be made for.
        if (fault == HistoryFault::CannotCreateFolder) {
            snapshot.state = ProgressSnapshot::State::Absent;
        } else {
            snapshot.state = ProgressSnapshot::State::Unreadable;
            snapshot.reason = historyFaultReason(fault);
        }
        return snapshot;
    }
    sqlite3 *db = store->handle();
    try {
        Statement(db, "PRAGMA query_only = 1").step();
        // One read transaction, so that every figure comes from the same moment of the file.
        Statement(db, "BEGIN").step();
        snapshot.state = classify(db, snapshot.reason);
        if (snapshot.state != ProgressSnapshot::State::Ready)
            return snapshot;
        snapshot.today = readPeriod(db, {today, today});
        snapshot.lastWeek = readPeriod(db, {today.addDays(-6), today});
        snapshot.allTime = readPeriod(db, {});
        snapshot.streakDays = practiceStreak(readDays(db), today);
        readChart(db, daysOf(range, today), snapshot);
        readLetters(db, snapshot);
        snapshot.runs = readRuns(db);
    } catch (const SqliteError &error) {
        snapshot = ProgressSnapshot();
        snapshot.state = ProgressSnapshot::State::Unreadable;
        snapshot.reason = reasonFor(error);
    }
    return snapshot;
}
