// The class report against a real server: a class of three pupils with hand-made runs, read
// through the teacher's own connection, so that the server's policies decide what is seen.
#include "class_report.h"
#include "class_server_fixture.h"
#include "pg_connection.h"

#include <QtTest>

namespace {

// Monday 13 May 2024, 00:00 UTC, and two days into that week.
constexpr double week = 1715558400;
constexpr double lastWeek = week - 7 * 86400;
constexpr double now = week + 2 * 86400;

QString optional(const std::optional<double> &value)
{
    return value ? QString::number(*value, 'g', 15) : QStringLiteral("none");
}

// A group of a pupil's figures as one line, for comparing a row at a glance.
QString figures(const PupilRow &pupil, const QString &group)
{
    const auto totals = [](const WeekFigures &totalsOf) {
        return QStringLiteral("%1 s, %2 runs, %3 keys, %4 correct, speed %5")
            .arg(totalsOf.practiceSeconds)
            .arg(totalsOf.runs)
            .arg(totalsOf.keys)
            .arg(totalsOf.correct)
            .arg(optional(totalsOf.medianSpeed));
    };
    if (group == "this week")
        return totals(pupil.thisWeek);
    if (group == "last week")
        return totals(pupil.lastWeek);
    if (group == "letters")
        return QStringLiteral("weakest %1, %2->%3 x%4")
            .arg(QString::fromStdString(pupil.weakestLetters))
            .arg(pupil.confusedLetter ? QString(QChar(pupil.confusedLetter)) : "none")
            .arg(pupil.confusedKeyCode)
            .arg(pupil.confusedCount);
    return QStringLiteral("last run %1").arg(optional(pupil.lastStarted));
}

} // namespace

class TestClassReport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pupilFigures_data();
    void pupilFigures();
    void classLetters();
    void onlyTheTeachersClasses();

private:
    const PupilRow *pupil(const ClassReport &report, const std::string &studentNumber);

    ClassServerFixture m_fixture;
    ClassReport m_report;
};

void TestClassReport::initTestCase()
{
    std::string error;
    QVERIFY2(m_fixture.start(error), error.c_str());
    const std::string ming = m_fixture.addPupil("一班", "A001", "小明");
    const std::string hong = m_fixture.addPupil("一班", "A002", "小红");
    m_fixture.addPupil("一班", "A003", "小刚");
    const std::string other = m_fixture.addPupil("三班", "C001", "小王");
    const std::string elsewhere = m_fixture.addPupil("二班", "B001", "小李");

    // 小明: R 6 of 10 (4 pressed P), Q 5 of 5 with one release too quick for a reaction time,
    // E 4 of 5 (one W), in an ended run; T 3 of 5 (two Y) in a run still going on.
    std::vector<KeyAnswer> first;
    for (int ms : {400, 500, 600, 700, 800, 900})
        first.push_back({'R', 'R', true, ms});
    for (const auto &more : {answers('R', 0, 4, 'P'), answers('Q', 4, 0, 0, 300),
                             answers('Q', 1, 0, 0, 20), answers('E', 4, 1, 'W')})
        first.insert(first.end(), more.begin(), more.end());
    m_fixture.addRun(ming, week + 3600, 120, 40, first);
    m_fixture.addRun(ming, week + 7200, -1, 0, answers('T', 3, 2, 'Y', 300));
    m_fixture.addRun(ming, week - 2 * 86400, 60, 30, answers('A', 9, 1, 'S'));
    // Before last week, and after now: neither week's.
    m_fixture.addRun(ming, lastWeek - 60, 60, 99, answers('Z', 0, 9, 'X'));
    m_fixture.addRun(ming, now + 60, 60, 99, answers('Z', 0, 9, 'X'));
    // 小红: an ended run without keys (its speed is no figure), two with keys; a wrong answer on
    // the letter's own key is no confusion.
    m_fixture.addRun(hong, week + 100, 10, 5, {});
    m_fixture.addRun(hong, week + 200, 20, 60, answers('C', 4));
    m_fixture.addRun(hong, week + 300, 30, 70, {{'D', 'D', true, 500}, {'B', 'B', false, 500}});
    m_fixture.addRun(other, week + 100, 10, 50, answers('R', 0, 9, 'T'));
    m_fixture.addRun(elsewhere, week + 100, 10, 50, answers('R', 0, 9, 'T'));

    auto teacher = m_fixture.teacher("王老师");
    m_report = classReport::read(*teacher, "一班", lastWeek, week, now, error);
    QVERIFY2(error.empty(), error.c_str());
}

const PupilRow *TestClassReport::pupil(const ClassReport &report, const std::string &studentNumber)
{
    for (const PupilRow &row : report.pupils)
        if (row.studentNumber == studentNumber)
            return &row;
    return nullptr;
}

void TestClassReport::pupilFigures_data()
{
    QTest::addColumn<QString>("studentNumber");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("expected");

    QTest::newRow("ended run's length, open run's release times")
        << "A001"
        << "this week"
        << "121.5 s, 2 runs, 25 keys, 18 correct, speed 40";
    QTest::newRow("last week") << "A001"
                               << "last week"
                               << "60 s, 1 runs, 10 keys, 9 correct, speed 30";
    QTest::newRow("weakest: lower accuracy, then more asked; most frequent wrong key")
        << "A001"
        << "letters"
        << "weakest RTE, R->80 x4";
    QTest::newRow("latest run even after now") << "A001"
                                               << "last run"
                                               << "last run " + QString::number(now + 60, 'g', 15);
    QTest::newRow("median speed of runs with keys") << "A002"
                                                    << "this week"
                                                    << "60 s, 3 runs, 6 keys, 5 correct, speed 65";
    QTest::newRow("no last week") << "A002"
                                  << "last week"
                                  << "0 s, 0 runs, 0 keys, 0 correct, speed none";
    QTest::newRow("too few to be weak, own key is no confusion") << "A002"
                                                                 << "letters"
                                                                 << "weakest , none->0 x0";
    QTest::newRow("never practised") << "A003"
                                     << "last run"
                                     << "last run none";
    QTest::newRow("nothing this week") << "A003"
                                       << "this week"
                                       << "0 s, 0 runs, 0 keys, 0 correct, speed none";
}

void TestClassReport::pupilFigures()
{
    QFETCH(QString, studentNumber);
    QFETCH(QString, group);
    QFETCH(QString, expected);
    const PupilRow *row = pupil(m_report, studentNumber.toStdString());
    QVERIFY(row);
    QCOMPARE(figures(*row, group), expected);
}

void TestClassReport::classLetters()
{
    const auto letter = [this](char which) {
        const ClassLetter &l = m_report.letters[which - 'A'];
        return QStringLiteral("%1/%2 median %3 best %4 confused %5 x%6")
            .arg(l.correct)
            .arg(l.asked)
            .arg(l.medianMs)
            .arg(l.bestMs)
            .arg(l.mostConfusedKey)
            .arg(l.mostConfusedCount);
    };
    // Only this week's keys of the class's own pupils: 三班's and 二班's wrong Rs are not here.
    QCOMPARE(letter('R'), "6/10 median 650 best 400 confused 80 x4");
    QCOMPARE(letter('Q'), "5/5 median 300 best 300 confused 0 x0");
    QCOMPARE(letter('A'), "0/0 median -1 best -1 confused 0 x0");
}

void TestClassReport::onlyTheTeachersClasses()
{
    QStringList numbers;
    for (const PupilRow &row : m_report.pupils)
        numbers.append(QString::fromStdString(row.studentNumber));
    QCOMPARE(numbers, QStringList({"A001", "A002", "A003"}));

    std::string error;
    auto wang = m_fixture.teacher("王老师");
    QCOMPARE(classReport::classes(*wang, error), std::vector<std::string>({"一班", "三班"}));
    QCOMPARE(classReport::roleOf(*wang, error), ServerRole::Teacher);
    // Another teacher's class reads as empty, not as its pupils.
    QVERIFY(classReport::read(*wang, "二班", lastWeek, week, now, error).pupils.empty());
    QCOMPARE(error, std::string());

    auto li = m_fixture.teacher("李老师");
    QCOMPARE(classReport::classes(*li, error), std::vector<std::string>({"二班"}));
    const ClassReport theirs = classReport::read(*li, "二班", lastWeek, week, now, error);
    QCOMPARE(theirs.pupils.size(), std::size_t(1));
    QCOMPARE(theirs.pupils[0].thisWeek.keys, 9);
    QCOMPARE(classReport::classes(*m_fixture.teacher("赵老师"), error), std::vector<std::string>());
    QCOMPARE(error, std::string());
}

QTEST_GUILESS_MAIN(TestClassReport)
#include "tst_class_report.moc"
