#include "progress_reader.h"

#include "history_fault_reason.h"
#include "history_store.h"
#include "learner_name.h"
#include "sqlite_statement.h"
#include "streak.h"

#include <QFile>
#include <QHash>

#include <algorithm>
#include <chrono>
#include <memory>
#include <sqlite3.h>
#include <stdexcept>
#include <string>
#include <vector>

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

// Whose runs a read covers: one learner's (bound as ?9), or, in a layout before learners, every
// run.
struct Scope
{
    qint64 learner = 0;
    // Runs have a learner and a mode (layout 3 on).
    bool hasLearners = false;
    // The learner has every run of the history, so the whole keys index is theirs.
    bool hasEveryRun = true;

    std::string runs() const { return learner ? " AND learner = ?9" : ""; }
    std::string mode() const { return hasLearners ? "mode" : "'random'"; }
    void bind(Statement &statement) const
    {
        if (learner)
            statement.bind(9, learner);
    }
};

PeriodSummary readPeriod(sqlite3 *db, const Days &days, const Scope &scope)
{
    const std::string where = " FROM runs WHERE " + inDays(days) + scope.runs();
    PeriodSummary period;
    Statement totals(db,
                     "SELECT count(*), coalesce(sum(" + std::string(runMs)
                         + "), 0), coalesce(sum(total), 0), coalesce(sum(correct), 0)" + where);
    bindDays(totals, days);
    scope.bind(totals);
    totals.step();
    period.runs = int(totals.integer(0));
    period.practiceSeconds = totals.integer(1) / 1000;
    period.keys = totals.integer(2);
    period.correct = totals.integer(3);

    Statement count(db, "SELECT count(*)" + where + " AND total > 0");
    bindDays(count, days);
    scope.bind(count);
    count.step();
    const qint64 n = count.integer(0);
    if (n > 0) {
        Statement speeds(db,
                         "SELECT speed" + where
                             + " AND total > 0 ORDER BY speed LIMIT 2 - (?3 % 2)"
                               " OFFSET (?3 - 1) / 2");
        bindDays(speeds, days);
        scope.bind(speeds);
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

QList<QDate> readDays(sqlite3 *db, const Scope &scope)
{
    QList<QDate> days;
    Statement statement(db,
                        "SELECT DISTINCT substr(started, 1, 10) FROM runs WHERE 1" + scope.runs());
    scope.bind(statement);
    while (statement.step())
        days.append(QDate::fromString(statement.text(0), Qt::ISODate));
    return days;
}

QList<RunListRow> readRuns(sqlite3 *db, const Scope &scope)
{
    QList<RunListRow> runs;
    Statement statement(db,
                        "SELECT id, started, " + std::string(runMs)
                            + ", total, correct, wrong, speed, accuracy, ended_by, " + scope.mode()
                            + " FROM runs WHERE 1" + scope.runs() + " ORDER BY id");
    scope.bind(statement);
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
        run.mode = statement.text(9);
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

void readChart(sqlite3 *db, const Days &days, const Scope &scope, ProgressSnapshot &snapshot)
{
    const std::string where = " FROM runs WHERE " + inDays(days) + scope.runs() + " AND total > 0";
    Statement count(db, "SELECT count(*)" + where);
    bindDays(count, days);
    scope.bind(count);
    count.step();
    snapshot.chartByDay = count.integer(0) > chartRunsPerPointLimit;
    // A day's speed weighs each run by its length; its accuracy counts every key of the day.
    const std::string weight = "max(" + std::string(runMs) + ", 1)";
    const std::string weak = "(" + scope.mode() + " = 'weak')";
    Statement points(
        db,
        snapshot.chartByDay
            ? "SELECT substr(started, 1, 10), count(*), sum(total), sum(speed * " + weight
                + ") / sum(" + weight + "), 100.0 * sum(correct) / sum(total), " + "sum(" + weak
                + ")" + where + " GROUP BY substr(started, 1, 10) ORDER BY 1"
            : "SELECT started, 1, total, speed, accuracy, " + weak + where + " ORDER BY started");
    bindDays(points, days);
    scope.bind(points);
    while (points.step()) {
        ChartPoint point;
        point.when = snapshot.chartByDay
            ? QDate::fromString(points.text(0), Qt::ISODate).startOfDay().addSecs(12 * 3600)
            : QDateTime::fromString(points.text(0), Qt::ISODateWithMs);
        point.runs = int(points.integer(1));
        point.keys = points.integer(2);
        point.speed = points.real(3);
        point.accuracy = points.real(4);
        point.weakRuns = int(points.integer(5));
        snapshot.chart.append(point);
    }
}

// Counts `count` answers of `row`'s letter: right ones, or the key pressed instead.
void countAnswers(LetterRow &row, bool correct, int keyCode, qint64 count,
                  QList<Confusion> &confusions)
{
    row.asked += count;
    if (correct) {
        row.correct += count;
        return;
    }
    confusions.append({row.letter, keyCode, count});
    if (count > row.mostConfusedCount) {
        row.mostConfusedKey = keyCode;
        row.mostConfusedCount = count;
    }
}

QList<LetterRow> everyLetter()
{
    QList<LetterRow> rows;
    for (char c = 'A'; c <= 'Z'; ++c) {
        LetterRow row;
        row.letter = QChar::fromLatin1(c);
        rows.append(row);
    }
    return rows;
}

void keepConfusions(QList<Confusion> confusions, ProgressSnapshot &snapshot)
{
    std::stable_sort(confusions.begin(), confusions.end(),
                     [](const Confusion &x, const Confusion &y) { return x.count > y.count; });
    snapshot.confusions = confusions.mid(0, 10);
}

// Each letter's range of the index (letter, correct, key_code, release_ms) is read once for its
// counts; the reaction times are then found by seeking in it: the few answers out of bounds are
// counted off, and the medians found by stepping through the index, never by sorting. The index
// knows no learner: this serves a learner who has every run.
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
    snapshot.letters = everyLetter();
    for (LetterRow &row : snapshot.letters) {
        const char c = row.letter.toLatin1();
        const QString letter(row.letter);
        qint64 correctOnItsKey = 0;
        counts.reset();
        counts.bind(1, letter);
        while (counts.step()) {
            const bool correct = counts.integer(0) == 1;
            const int keyCode = int(counts.integer(1));
            countAnswers(row, correct, keyCode, counts.integer(2), confusions);
            if (correct && keyCode == c)
                correctOnItsKey = counts.integer(2);
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
    }
    keepConfusions(confusions, snapshot);
}

// A learner who shares the history: their keys are found through their runs (the index on
// learner and start, then each run's keys), and their reaction times come into memory, where
// the medians are found by partial sorting. CROSS JOIN keeps that order: a history has no
// statistics, and SQLite would otherwise scan the whole keys index.
void readLettersOf(sqlite3 *db, const Scope &scope, ProgressSnapshot &snapshot)
{
    const std::string theirKeys =
        " FROM runs AS r CROSS JOIN keys AS k ON k.run = r.id WHERE r.learner = ?9";
    Statement counts(
        db, "SELECT k.letter, k.correct, k.key_code, count(*)" + theirKeys + " GROUP BY 1, 2, 3");
    scope.bind(counts);
    QList<Confusion> confusions;
    snapshot.letters = everyLetter();
    const auto rowOf = [&snapshot](const QString &letter) -> LetterRow * {
        const int index = letter.size() == 1 ? letter[0].unicode() - 'A' : -1;
        return index >= 0 && index < 26 ? &snapshot.letters[index] : nullptr;
    };
    while (counts.step()) {
        if (LetterRow *row = rowOf(counts.text(0)))
            countAnswers(*row, counts.integer(1) == 1, int(counts.integer(2)), counts.integer(3),
                         confusions);
    }
    keepConfusions(confusions, snapshot);

    Statement times(db,
                    "SELECT unicode(k.letter) - 65, k.release_ms" + theirKeys
                        + " AND k.correct = 1 AND k.key_code = unicode(k.letter)"
                          " AND k.release_ms BETWEEN ?1 AND ?2");
    times.bind(1, qint64(fastestMs)).bind(2, qint64(slowestMs));
    scope.bind(times);
    std::vector<std::vector<int>> byLetter(26);
    while (times.step()) {
        const qint64 index = times.integer(0);
        if (index >= 0 && index < 26)
            byLetter[std::size_t(index)].push_back(int(times.integer(1)));
    }
    for (int i = 0; i < 26; ++i) {
        std::vector<int> &ms = byLetter[std::size_t(i)];
        if (ms.empty())
            continue;
        const std::size_t half = ms.size() / 2;
        std::nth_element(ms.begin(), ms.begin() + half, ms.end());
        const int upper = ms[half];
        // The lower middle of an even count is the largest below the upper one.
        const int lower = ms.size() % 2 ? upper : *std::max_element(ms.begin(), ms.begin() + half);
        snapshot.letters[i].medianMs = (lower + upper + 1) / 2;
        snapshot.letters[i].bestMs = *std::min_element(ms.begin(), ms.end());
    }
}

bool hasLearnersTable(sqlite3 *db)
{
    Statement table(db,
                    "SELECT EXISTS (SELECT 1 FROM sqlite_schema WHERE type = 'table'"
                    " AND name = 'learners')");
    table.step();
    return table.integer(0) == 1;
}

QList<LearnerInfo> readLearners(sqlite3 *db)
{
    QList<LearnerInfo> learners;
    Statement all(db,
                  "SELECT l.id, l.name, count(r.id), coalesce(sum(r.total), 0)"
                  " FROM learners AS l LEFT JOIN runs AS r ON r.learner = l.id"
                  " GROUP BY l.id ORDER BY l.id");
    while (all.step())
        learners.append({all.integer(0), all.text(1), int(all.integer(2)), all.integer(3)});
    return learners;
}

bool isAmong(const QList<LearnerInfo> &learners, qint64 id)
{
    return std::any_of(learners.cbegin(), learners.cend(),
                       [id](const LearnerInfo &learner) { return learner.id == id; });
}

// Who practises now, as LearnerRequest says: by id, by name, else the learner of the latest run,
// else the first learner.
qint64 currentLearner(sqlite3 *db, const QList<LearnerInfo> &learners,
                      const LearnerRequest &request)
{
    if (isAmong(learners, request.current))
        return request.current;
    const QString name = learnerName::normalized(request.currentName);
    if (!name.isEmpty()) {
        Statement named(db, "SELECT id FROM learners WHERE name_key = ?1");
        named.bind(1, learnerName::key(name));
        if (named.step())
            return named.integer(0);
    }
    Statement latest(db,
                     "SELECT learner FROM runs WHERE learner IS NOT NULL"
                     " ORDER BY started DESC LIMIT 1");
    if (latest.step())
        return latest.integer(0);
    return learners.isEmpty() ? 0 : learners.first().id;
}

// One row per learner of their last 7 days: totals, the median speed by a window over each
// learner's runs, and their weakest letters from those runs' keys, each run's found by its
// primary key (CROSS JOIN: SQLite would otherwise scan the whole keys index).
void readOverview(sqlite3 *db, QDate today, ProgressSnapshot &snapshot)
{
    const Days week {today.addDays(-6), today};
    const std::string runs = " FROM runs WHERE " + inDays(week) + " AND learner IS NOT NULL";
    QHash<qint64, OverviewRow> rows;
    Statement totals(db,
                     "SELECT learner, count(*), sum(" + std::string(runMs)
                         + "), sum(total), sum(correct)" + runs + " GROUP BY learner");
    bindDays(totals, week);
    while (totals.step()) {
        PeriodSummary &period = rows[totals.integer(0)].lastWeek;
        period.runs = int(totals.integer(1));
        period.practiceSeconds = totals.integer(2) / 1000;
        period.keys = totals.integer(3);
        period.correct = totals.integer(4);
    }
    Statement medians(db,
                      "SELECT learner, avg(speed) FROM (SELECT learner, speed,"
                      " row_number() OVER (PARTITION BY learner ORDER BY speed) AS i,"
                      " count(*) OVER (PARTITION BY learner) AS n"
                          + runs
                          + " AND total > 0) WHERE i IN ((n + 1) / 2, (n + 2) / 2)"
                            " GROUP BY learner");
    bindDays(medians, week);
    while (medians.step())
        rows[medians.integer(0)].lastWeek.medianSpeed = medians.real(1);
    Statement weakest(
        db,
        "SELECT r.learner, k.letter FROM runs AS r CROSS JOIN keys AS k ON k.run = r.id"
        " WHERE r.started >= ?1 AND r.started < ?2 AND r.learner IS NOT NULL"
        " GROUP BY r.learner, k.letter"
        " HAVING count(*) >= ?3 AND sum(k.correct) < count(*)"
        " ORDER BY r.learner, 1.0 * sum(k.correct) / count(*), k.letter");
    bindDays(weakest, week);
    weakest.bind(3, qint64(weakLetterFewestAsked));
    while (weakest.step()) {
        QList<QChar> &letters = rows[weakest.integer(0)].weakest;
        const QString letter = weakest.text(1);
        if (letters.size() < 3 && letter.size() == 1)
            letters.append(letter[0]);
    }
    for (const LearnerInfo &learner : snapshot.learners) {
        OverviewRow row = rows.value(learner.id);
        row.learner = learner.id;
        snapshot.overview.append(row);
    }
    snapshot.isOverview = true;
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

ProgressSnapshot readProgress(const QString &path, QDate today, ChartRange range,
                              const LearnerRequest &request)
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
        if (snapshot.state == ProgressSnapshot::State::Unreadable)
            return snapshot;
        Scope scope;
        // The learners are known even without runs, so that they can be managed.
        if (hasLearnersTable(db)) {
            scope.hasLearners = true;
            snapshot.learners = readLearners(db);
            snapshot.currentLearner = currentLearner(db, snapshot.learners, request);
            scope.learner = isAmong(snapshot.learners, request.selected) ? request.selected
                                                                         : snapshot.currentLearner;
            if (request.overview) {
                readOverview(db, today, snapshot);
                return snapshot;
            }
            snapshot.learner = scope.learner;
            Statement others(db, "SELECT EXISTS (SELECT 1 FROM runs WHERE learner IS NOT ?9)");
            scope.bind(others);
            others.step();
            scope.hasEveryRun = others.integer(0) == 0;
        }
        if (snapshot.state != ProgressSnapshot::State::Ready)
            return snapshot;
        snapshot.today = readPeriod(db, {today, today}, scope);
        snapshot.lastWeek = readPeriod(db, {today.addDays(-6), today}, scope);
        snapshot.allTime = readPeriod(db, {}, scope);
        snapshot.streakDays = practiceStreak(readDays(db, scope), today);
        readChart(db, daysOf(range, today), scope, snapshot);
        if (scope.hasEveryRun)
            readLetters(db, snapshot);
        else
            readLettersOf(db, scope, snapshot);
        snapshot.runs = readRuns(db, scope);
    } catch (const SqliteError &error) {
        snapshot = ProgressSnapshot();
        snapshot.state = ProgressSnapshot::State::Unreadable;
        snapshot.reason = reasonFor(error);
    }
    return snapshot;
}

QDate firstDayOf(ChartRange range, QDate today)
{
    return daysOf(range, today).first;
}
