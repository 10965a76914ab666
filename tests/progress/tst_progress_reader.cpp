#include "history_builder.h"
#include "history_changes.h"
#include "key_names.h"
#include "progress_reader.h"
#include "streak.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

namespace {

const QDate today(2026, 12, 7);

QByteArray fileHash(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
        ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
        : QByteArray();
}

const LetterRow &letterRow(const ProgressSnapshot &snapshot, char letter)
{
    return snapshot.letters.at(letter - 'A');
}

} // namespace

// The figures the progress window shows, read from histories written by hand.
class TestProgressReader : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void lettersCountTimesWithinBoundsAndConfusions_data();
    void lettersCountTimesWithinBoundsAndConfusions();
    void eachLearnerHasTheirOwnFigures();
    void overviewOfEveryLearnersWeek();
    void learnerChangesSayWhatWentWrong();
    void periodsAndMedianSpeed();
    void chartRangesEndToday_data();
    void chartRangesEndToday();
    void chartGroupsByDayOverTheLimit_data();
    void chartGroupsByDayOverTheLimit();
    void streak_data();
    void streak();
    void streakUsesLocalDaysAcrossDaylightSaving();
    void statesOfHistoriesItCannotShow_data();
    void statesOfHistoriesItCannotShow();
    void keyNamesAsPrinted();

private:
    QString m_path;
    std::unique_ptr<QTemporaryDir> m_folder;
};

void TestProgressReader::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    m_path = m_folder->filePath("history.sqlite");
}

void TestProgressReader::lettersCountTimesWithinBoundsAndConfusions_data()
{
    QTest::addColumn<bool>("shared");
    QTest::newRow("the only learner: the keys index") << false;
    QTest::newRow("beside another learner: through the runs") << true;
}

void TestProgressReader::lettersCountTimesWithinBoundsAndConfusions()
{
    QFETCH(bool, shared);
    LearnerRequest request;
    {
        HistoryBuilder history(m_path);
        if (shared) {
            // Another learner's keys, which must count nowhere in these figures.
            const qint64 theirs = history.addRun("2026-12-07T09:00:00.000+08:00", 9, 3, 30);
            for (int i = 0; i < 3; ++i) {
                history.addKey(theirs, 'A', 'A', 20 + i);
                history.addKey(theirs, 'A', 'Q', 100);
                history.addKey(theirs, 'B', 'V', 100);
            }
            request.selected = history.addLearner("Bella");
        }
        const qint64 run = history.addRun("2026-12-07T10:00:00.000+08:00", 12, 7, 30);
        // A: the times 39 ms and 10001 ms fall outside, 40 and 10000 inside; a wrong answer's
        // time never counts.
        for (int ms : {39, 40, 300, 500, 10000, 10001})
            history.addKey(run, 'A', 'A', ms);
        history.addKey(run, 'A', 'S', 50);
        history.addKey(run, 'B', 'B', 700);
        for (int i = 0; i < 3; ++i)
            history.addKey(run, 'B', 'V', 900);
        history.addKey(run, 'B', 16, 900);
    }
    const ProgressSnapshot snapshot = readProgress(m_path, today, ChartRange::All, request);
    QCOMPARE(snapshot.state, ProgressSnapshot::State::Ready);
    QCOMPARE(snapshot.letters.size(), 26);

    const LetterRow &a = letterRow(snapshot, 'A');
    QCOMPARE(a.asked, 7);
    QCOMPARE(a.correct, 6);
    QCOMPARE(a.medianMs, 400); // 40, 300, 500, 10000: the middle two averaged
    QCOMPARE(a.bestMs, 40);
    QCOMPARE(a.mostConfusedKey, int('S'));

    const LetterRow &b = letterRow(snapshot, 'B');
    QCOMPARE(b.accuracy(), 20.0);
    QCOMPARE(b.medianMs, 700);
    QCOMPARE(b.mostConfusedKey, int('V'));
    QCOMPARE(b.mostConfusedCount, 3);

    const LetterRow &z = letterRow(snapshot, 'Z');
    QCOMPARE(z.asked, 0);
    QCOMPARE(z.medianMs, -1);

    QCOMPARE(snapshot.confusions.size(), 3);
    QCOMPARE(snapshot.confusions[0].letter, QChar('B'));
    QCOMPARE(snapshot.confusions[0].keyCode, int('V'));
    QCOMPARE(snapshot.confusions[0].count, 3);
}

void TestProgressReader::periodsAndMedianSpeed()
{
    {
        HistoryBuilder history(m_path);
        history.addRun("2026-12-07T08:00:00.000+08:00", 100, 90, 40, 120);
        history.addRun("2026-12-07T09:00:00.000+08:00", 100, 100, 60, 60);
        history.addRun("2026-12-07T09:30:00.000+08:00", 0, 0, 0, 5); // started, no key
        history.addRun("2026-12-01T23:59:59.999+08:00", 50, 25, 10, 60);
        // 70 minutes: longer than the drill's tick counter goes before it wraps.
        history.addRun("2026-11-30T12:00:00.000+08:00", 50, 50, 100, 4200);
        // Dated tomorrow (a clock set wrong): of no period but the whole history.
        history.addRun("2026-12-08T09:00:00.000+08:00", 10, 10, 80, 600);
    }
    const ProgressSnapshot snapshot = readProgress(m_path, today, ChartRange::All);
    QCOMPARE(snapshot.today.runs, 3);
    QCOMPARE(snapshot.today.keys, 200);
    QCOMPARE(snapshot.today.accuracy(), 95.0);
    QCOMPARE(snapshot.today.medianSpeed, 50.0); // the run without keys has no speed
    QCOMPARE(snapshot.today.practiceSeconds, 185);
    QCOMPARE(snapshot.lastWeek.runs, 4);
    QCOMPARE(snapshot.lastWeek.keys, 250);
    QCOMPARE(snapshot.lastWeek.medianSpeed, 40.0);
    QCOMPARE(snapshot.lastWeek.practiceSeconds, 245);
    QCOMPARE(snapshot.allTime.runs, 6);
    QCOMPARE(snapshot.allTime.keys, 310);
    QCOMPARE(snapshot.allTime.medianSpeed, 60.0);
    QCOMPARE(snapshot.allTime.practiceSeconds, 5045);
    QCOMPARE(snapshot.runs.size(), 6);
    QCOMPARE(snapshot.runs.first().started.time(), QTime(8, 0));
    QCOMPARE(snapshot.runs[4].seconds, 4200);
    QCOMPARE(snapshot.runs[4].speed, 100.0);
}

void TestProgressReader::chartRangesEndToday_data()
{
    QTest::addColumn<ChartRange>("range");
    QTest::addColumn<QDate>("first");
    QTest::newRow("week") << ChartRange::Week << QDate(2026, 12, 1);
    QTest::newRow("month") << ChartRange::Month << QDate(2026, 11, 8);
    QTest::newRow("year") << ChartRange::Year << QDate(2025, 12, 8);
}

void TestProgressReader::chartRangesEndToday()
{
    QFETCH(ChartRange, range);
    QFETCH(QDate, first);
    {
        HistoryBuilder history(m_path);
        for (const QDate day : {first.addDays(-1), first, today, today.addDays(1)})
            history.addRun(day.toString(Qt::ISODate) + "T12:00:00.000+08:00", 10, 10, 30);
    }
    const ProgressSnapshot snapshot = readProgress(m_path, today, range);
    QCOMPARE(snapshot.chart.size(), 2);
    QCOMPARE(snapshot.chart[0].when.date(), first);
    QCOMPARE(snapshot.chart[1].when.date(), today);
}

void TestProgressReader::chartGroupsByDayOverTheLimit_data()
{
    QTest::addColumn<int>("runs");
    QTest::addColumn<bool>("byDay");
    QTest::addColumn<int>("points");
    QTest::newRow("200 runs: one point each") << 200 << false << 200;
    QTest::newRow("201 runs: one point per day") << 201 << true << 3;
}

void TestProgressReader::chartGroupsByDayOverTheLimit()
{
    QFETCH(int, runs);
    QFETCH(bool, byDay);
    QFETCH(int, points);
    {
        HistoryBuilder history(m_path);
        history.exec("BEGIN");
        // 5 December: a slow, accurate hour, past the drill's tick counter's wrap, and a fast,
        // careless half hour.
        history.addRun("2026-12-05T08:00:00.000+08:00", 10, 10, 20, 3600);
        history.addRun("2026-12-05T09:00:00.000+08:00", 30, 15, 50, 1800);
        // The rest alike, on the 6th and the 7th.
        for (int i = 2; i < runs; ++i)
            history.addRun(QStringLiteral("2026-12-%1T%2:00:00.000+08:00")
                               .arg(6 + i % 2, 2, 10, QChar('0'))
                               .arg(8 + i % 12, 2, 10, QChar('0')),
                           10, 5, 50);
        history.exec("COMMIT");
    }
    const ProgressSnapshot snapshot = readProgress(m_path, today, ChartRange::Week);
    QCOMPARE(snapshot.chartByDay, byDay);
    QCOMPARE(snapshot.chart.size(), points);
    const ChartPoint &onTheFifth = snapshot.chart[byDay ? 0 : 1];
    QCOMPARE(onTheFifth.when.date(), QDate(2026, 12, 5));
    if (byDay) {
        // Speed weighed by each run's length, accuracy over every key: (20·60 + 50·30) / 90 and
        // 25 of 40, where plain means of the runs would give 35 and 75.
        QCOMPARE(onTheFifth.runs, 2);
        QCOMPARE(onTheFifth.keys, 40);
        QCOMPARE(onTheFifth.speed, 30.0);
        QCOMPARE(onTheFifth.accuracy, 62.5);
        QCOMPARE(snapshot.chart[1].accuracy, 50.0);
        QCOMPARE(snapshot.chart[1].runs + snapshot.chart[2].runs, runs - 2);
    } else {
        QCOMPARE(onTheFifth.speed, 50.0);
        QCOMPARE(onTheFifth.accuracy, 50.0);
    }
}

void TestProgressReader::streak_data()
{
    QTest::addColumn<QList<QDate>>("days");
    QTest::addColumn<QDate>("on");
    QTest::addColumn<int>("streak");
    const QDate first(2026, 3, 1);
    QTest::newRow("across a month boundary")
        << QList<QDate> {{2026, 2, 27}, {2026, 2, 28}, first} << first << 3;
    QTest::newRow("across a year boundary")
        << QList<QDate> {{2025, 12, 31}, {2026, 1, 1}} << QDate(2026, 1, 1) << 2;
    QTest::newRow("not yet today: up to yesterday")
        << QList<QDate> {{2026, 2, 27}, {2026, 2, 28}} << first << 2;
    QTest::newRow("a gap ends it")
        << QList<QDate> {{2026, 2, 26}, {2026, 2, 28}, first, first} << first << 2;
    QTest::newRow("nothing since the day before yesterday")
        << QList<QDate> {{2026, 2, 27}} << first << 0;
}

void TestProgressReader::streak()
{
    QFETCH(QList<QDate>, days);
    QFETCH(QDate, on);
    QFETCH(int, streak);
    QCOMPARE(practiceStreak(days, on), streak);
}

void TestProgressReader::streakUsesLocalDaysAcrossDaylightSaving()
{
    // Clocks go forward on 29 March: the runs fall on the local days 28 and 30, while in UTC
    // they would be 22:30 on 28 and 29 March, two days in a row.
    {
        HistoryBuilder history(m_path);
        history.addRun("2026-03-28T23:30:00.000+01:00", 10, 10, 30);
        history.addRun("2026-03-30T00:30:00.000+02:00", 10, 10, 30);
    }
    QCOMPARE(readProgress(m_path, QDate(2026, 3, 30), ChartRange::All).streakDays, 1);
    {
        HistoryBuilder history(m_path);
        history.addRun("2026-03-29T08:00:00.000+02:00", 10, 10, 30);
    }
    QCOMPARE(readProgress(m_path, QDate(2026, 3, 30), ChartRange::All).streakDays, 3);
}

void TestProgressReader::statesOfHistoriesItCannotShow_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<ProgressSnapshot::State>("state");
    QTest::addColumn<QString>("reason");
    using State = ProgressSnapshot::State;
    QTest::newRow("absent") << "absent" << State::Absent << "";
    QTest::newRow("empty file") << "empty file" << State::Empty << "";
    QTest::newRow("no runs") << "no runs" << State::Empty << "";
    QTest::newRow("first layout, read as it is") << "layout 1" << State::Ready << "";
    QTest::newRow("damaged") << "damaged" << State::Unreadable << "损坏";
    QTest::newRow("newer version") << "newer" << State::Unreadable << "更新版本";
    QTest::newRow("locked") << "locked" << State::Unreadable << "锁住";
    QTest::newRow("foreign, with tables, version 1")
        << "foreign" << State::Unreadable << "不是练习记录";
    QTest::newRow("foreign, another application id")
        << "other application" << State::Unreadable << "不是练习记录";
    QTest::newRow("text") << "text" << State::Unreadable << "不是练习记录";
    QTest::newRow("folder") << "folder" << State::Unreadable << "不是普通文件";
}

// What the window cannot show it cannot delete either; the file stays as it was.
void TestProgressReader::statesOfHistoriesItCannotShow()
{
    QFETCH(QString, kind);
    QFETCH(ProgressSnapshot::State, state);
    QFETCH(QString, reason);
    sqlite3 *locker = nullptr;
    if (kind == "empty file" || kind == "text") {
        QFile file(m_path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (kind == "text")
            file.write(QByteArray("SQLite format 3").repeated(300));
    } else if (kind == "folder") {
        QVERIFY(QDir().mkpath(m_path));
    } else if (kind == "foreign" || kind == "other application") {
        sqlite3 *other = nullptr;
        sqlite3_open(m_path.toUtf8().constData(), &other);
        const char *sql = kind == "foreign"
            ? "CREATE TABLE notes (text TEXT); PRAGMA user_version = 1"
            : "PRAGMA application_id = 1234; CREATE TABLE runs (id); CREATE TABLE keys (run)";
        QCOMPARE(sqlite3_exec(other, sql, nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(other);
    } else if (kind != "absent") {
        HistoryBuilder history(m_path, kind == "layout 1" ? 1 : historySchema::currentVersion);
        if (kind == "newer")
            history.exec(
                QStringLiteral("PRAGMA user_version = %1").arg(historySchema::currentVersion + 1));
        if (kind == "layout 1" || kind == "locked" || kind == "damaged") {
            history.addRun("2026-12-07T10:00:00.000+08:00", 1, 1, 1);
            QVERIFY(history.exec("PRAGMA journal_mode = DELETE"));
        }
    }
    if (kind == "damaged") {
        // The page after the file's header, where its tables are listed, overwritten.
        QFile file(m_path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        file.seek(100);
        file.write(QByteArray(400, '\xff'));
    }
    if (kind == "locked") {
        sqlite3_open(m_path.toUtf8().constData(), &locker);
        QCOMPARE(sqlite3_exec(locker, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    }
    const QByteArray before = fileHash(m_path);
    const ProgressSnapshot snapshot = readProgress(m_path, today, ChartRange::All);
    QCOMPARE(snapshot.state, state);
    QVERIFY2(snapshot.reason.contains(reason), qPrintable(snapshot.reason));
    const bool refused =
        state == ProgressSnapshot::State::Unreadable || state == ProgressSnapshot::State::Absent;
    if (refused)
        QVERIFY(!historyChanges::deleteRuns(m_path, {1}).isEmpty());
    sqlite3_close(locker);
    QCOMPARE(fileHash(m_path), before);
    QCOMPARE(QFileInfo::exists(m_path), kind != "absent");
    // Nothing beside it either (a reader of a history in write-ahead mode leaves SQLite's).
    if (refused)
        QVERIFY(!QFile::exists(m_path + "-wal") && !QFile::exists(m_path + "-journal"));
    if (kind == "layout 1")
        QCOMPARE(snapshot.runs.size(), 1);
}

void TestProgressReader::eachLearnerHasTheirOwnFigures()
{
    qint64 bella = 0;
    {
        HistoryBuilder history(m_path);
        history.addRun("2026-12-05T10:00:00.000+08:00", 10, 10, 30);
        bella = history.addLearner(QStringLiteral("Bella"));
        history.addRun("2026-12-06T10:00:00.000+08:00", 20, 10, 40, 60, "weak");
        history.addRun("2026-12-07T08:00:00.000+08:00", 30, 30, 60);
        // A run whose learner was removed while its drill still runs: nobody's, never shown.
        history.addRun("2026-12-07T09:00:00.000+08:00", 50, 50, 90);
        history.exec("UPDATE runs SET learner = NULL, ended_by = NULL WHERE id = 4");
    }
    // Without a name, the learner of the latest run shown is current; a name finds its learner
    // however it is spelled.
    const ProgressSnapshot latest = readProgress(m_path, today, ChartRange::All);
    QCOMPARE(latest.learners.size(), 2);
    QCOMPARE(latest.learners[1].name, "Bella");
    QCOMPARE(latest.learners[1].runs, 2);
    QCOMPARE(latest.learners[1].keys, 50);
    QCOMPARE(latest.currentLearner, bella);
    QCOMPARE(latest.learner, bella);
    QCOMPARE(latest.allTime.runs, 2);
    QCOMPARE(latest.allTime.keys, 50);
    QCOMPARE(latest.streakDays, 2);
    QCOMPARE(latest.runs.size(), 2);
    QCOMPARE(latest.runs[0].mode, "weak");
    QCOMPARE(latest.runs[1].mode, "random");
    QCOMPARE(latest.chart.size(), 2);
    QCOMPARE(latest.chart[0].weakRuns, 1);

    LearnerRequest named;
    named.currentName = QStringLiteral(" ＢＥＬＬＡ ");
    named.selected = 1;
    const ProgressSnapshot first = readProgress(m_path, today, ChartRange::All, named);
    QCOMPARE(first.currentLearner, bella);
    QCOMPARE(first.learner, 1);
    QCOMPARE(first.allTime.runs, 1);
    QCOMPARE(first.allTime.keys, 10);
}

void TestProgressReader::overviewOfEveryLearnersWeek()
{
    {
        HistoryBuilder history(m_path);
        // Before the week: of no row.
        history.addRun("2026-11-30T10:00:00.000+08:00", 100, 0, 10);
        history.addLearner(QStringLiteral("Ben"));
        history.addRun("2026-12-01T10:00:00.000+08:00", 0, 0, 0, 30);
        history.addRun("2026-12-02T10:00:00.000+08:00", 10, 9, 20, 90);
        history.addRun("2026-12-03T10:00:00.000+08:00", 10, 9, 50, 120);
        const qint64 run = history.addRun("2026-12-07T10:00:00.000+08:00", 26, 17, 30, 60);
        // Q 2 of 6, Z 3 of 5, X 4 of 5, V 4 of 6, B 5 of 5 (never missed), P 0 of 4 (too few).
        const QList<std::tuple<char, int, int>> answers {{'Q', 2, 6}, {'Z', 3, 5}, {'X', 4, 5},
                                                         {'V', 4, 6}, {'B', 5, 5}, {'P', 0, 4}};
        for (const auto &[letter, right, asked] : answers) {
            for (int i = 0; i < asked; ++i)
                history.addKey(run, letter, i < right ? letter : 'R', 400);
        }
        history.addLearner(QStringLiteral("晨晨"));
    }
    LearnerRequest request;
    request.overview = true;
    const ProgressSnapshot snapshot = readProgress(m_path, today, ChartRange::All, request);
    QVERIFY(snapshot.isOverview);
    QCOMPARE(snapshot.overview.size(), 3);
    QCOMPARE(snapshot.overview[0].lastWeek.runs, 0);
    const OverviewRow &ben = snapshot.overview[1];
    QCOMPARE(ben.lastWeek.runs, 4);
    QCOMPARE(ben.lastWeek.keys, 46);
    QCOMPARE(ben.lastWeek.practiceSeconds, 300);
    QCOMPARE(ben.lastWeek.accuracy(), 100.0 * 35 / 46);
    QCOMPARE(ben.lastWeek.medianSpeed, 30.0); // of 20, 30 and 50; the run without keys has none
    QCOMPARE(ben.weakest, (QList<QChar> {'Q', 'Z', 'V'}));
    QCOMPARE(snapshot.overview[2].lastWeek.runs, 0);
    QVERIFY(snapshot.overview[2].weakest.isEmpty());
    QVERIFY(snapshot.runs.isEmpty());
}

// Each change opens the file for itself and says in plain words why it did nothing.
void TestProgressReader::learnerChangesSayWhatWentWrong()
{
    qint64 run = 0;
    {
        HistoryBuilder history(m_path);
        history.exec("UPDATE learners SET name = 'Anna', name_key = 'anna'");
        run = history.addRun("2026-12-07T10:00:00.000+08:00", 1, 1, 30);
        history.addKey(run, 'A', 'A', 300);
    }
    const auto learners = [this] {
        return readProgress(m_path, today, ChartRange::All).learners;
    };
    QVERIFY(historyChanges::addLearner(m_path, "  ").contains("名字不能是空的"));
    QVERIFY(historyChanges::addLearner(m_path, "ＡＮＮＡ").contains("已经有一个学员叫这个名字"));
    QVERIFY(historyChanges::removeLearner(m_path, 1).contains("至少要留下一个学员"));
    QCOMPARE(historyChanges::addLearner(m_path, " Ben "), QString());
    QCOMPARE(learners().size(), 2);
    const qint64 ben = learners()[1].id;
    QCOMPARE(learners()[1].name, "Ben");
    QVERIFY(historyChanges::renameLearner(m_path, ben, "anna").contains("已经有一个学员"));
    QVERIFY(historyChanges::renameLearner(m_path, ben, QString(21, 'x')).contains("最多 20 个字"));
    QCOMPARE(historyChanges::renameLearner(m_path, ben, "Benny"), QString());
    QCOMPARE(historyChanges::moveRun(m_path, run, ben), QString());
    QCOMPARE(learners()[1].runs, 1);
    QCOMPARE(learners()[0].runs, 0);
    QCOMPARE(historyChanges::removeLearner(m_path, ben), QString());
    QCOMPARE(learners().size(), 1);
    QVERIFY(historyChanges::moveRun(m_path, run, 1).contains("已经不在了"));
    QCOMPARE(readProgress(m_path, today, ChartRange::All).state, ProgressSnapshot::State::Empty);
}

void TestProgressReader::keyNamesAsPrinted()
{
    const QList<std::pair<int, QString>> names {
        {'R', "R"}, {16, "Shift"}, {32, "空格"},      {'1', "1"},    {97, "小键盘 1"},
        {186, ";"}, {113, "F2"},   {20, "Caps Lock"}, {0, "未知键"}, {250, "键 250"}};
    for (const auto &[code, name] : names)
        QCOMPARE(keyName(code), name);
}

QTEST_GUILESS_MAIN(TestProgressReader)
#include "tst_progress_reader.moc"
