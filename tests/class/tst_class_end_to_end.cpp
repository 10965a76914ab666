// The built drill under Xvfb with a real class server: a pupil logs in with the 学号 and PIN,
// practises, and the run is on the server and on the next machine the pupil logs in to.
#include "class_server_fixture.h"
#include "desktop_session.h"
#include "history_database.h"

#include <QtTest>

#include <csignal>
#include <memory>

class TestClassEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup() { m_session->endPrograms(); }
    void pupilPractisesHereAndFindsTheRunOnAnotherMachine();
    void runsOfAServerAwayFollowAtTheNextStart();
    void drillKilledItsKeysFollowOnce();

private:
    // Starts the drill for the pupil on the "machine" whose history is `history`, types the PIN
    // and waits for the drill's window.
    pid_t logIn(const QString &history, const QString &pin);
    // What the server holds of the pupil: "keys,ends".
    QString onServer() const;

    ClassServerFixture m_fixture;
    PostgresServer &m_server = m_fixture.server();
    std::unique_ptr<DesktopSession> m_session;
    QString m_pin;
};

void TestClassEndToEnd::initTestCase()
{
    std::string error, pin;
    QVERIFY2(m_fixture.start(error), error.c_str());
    m_fixture.addPupil("一班", "2024001", "小明", &pin);
    m_pin = QString::fromStdString(pin);
    m_session = std::make_unique<DesktopSession>(DesktopSession::Display::X11);
    QVERIFY2(m_session->start(), qPrintable(m_session->error()));
}

pid_t TestClassEndToEnd::logIn(const QString &history, const QString &pin)
{
    // The lab's connection string names no login: the pupil's comes from the 学号 and PIN.
    const QString server = QStringLiteral("host=localhost hostaddr=127.0.0.1 port=%1 dbname=school "
                                          "sslmode=verify-full sslrootcert=%2")
                               .arg(m_server.port())
                               .arg(QString::fromStdString(m_server.caCertificate()));
    const pid_t drill = m_session->startProgram({TYPING_DRILL_PROGRAM, "--history-file", history,
                                                 "--server", server, "--pupil", "2024001"});
    // --pupil gave the 学号: the login window asks for the PIN only.
    if (m_session->waitForTitle(drill, QStringLiteral("请输入 PIN")).isEmpty())
        return -1;
    QStringList keys;
    for (QChar digit : pin)
        keys << QString(digit);
    keys << "Return";
    if (!m_session->tapKeys(keys))
        return -1;
    const QString title = QStringLiteral("青禾打字软件V1.1\u2014送给我的宝贝禾乖乖 \u2014 2024001");
    return m_session->waitForTitle(drill, title).isEmpty() ? -1 : drill;
}

QString TestClassEndToEnd::onServer() const
{
    return QString::fromStdString(
               m_server
                   .psql(m_server.superuserConnection(),
                         "SELECT (SELECT count(*) FROM typing_drill.keys) || ',' || "
                         "(SELECT count(*) FROM typing_drill.run_ends)")
                   .output)
        .trimmed();
}

void TestClassEndToEnd::pupilPractisesHereAndFindsTheRunOnAnotherMachine()
{
    const QString here = m_session->filePath("here.sqlite");
    const pid_t drill = logIn(here, m_pin);
    QVERIFY(drill > 0);
    QVERIFY(m_session->waitForLabel(drill, "总数", "0"));
    QVERIFY(m_session->tapKeys({"q", "w", "e"}) && m_session->waitForLabel(drill, "总数", "3"));
    // Sent while the pupil practises, within seconds.
    QTRY_COMPARE_WITH_TIMEOUT(onServer(), QString("3,0"), 10000);
    QVERIFY(m_session->tapKeys({"Escape"}));
    QCOMPARE(m_session->waitForExit(drill), 0);
    QCOMPARE(onServer(), QString("3,1"));

    // Another machine: the run comes with the login, under the pupil's learner.
    const QString there = m_session->filePath("there.sqlite");
    const pid_t other = logIn(there, m_pin);
    QVERIFY(other > 0);
    QVERIFY(m_session->tapKeys({"Escape"}));
    QCOMPARE(m_session->waitForExit(other), 0);
    QCOMPARE(HistoryDatabase(there).value("SELECT l.name || '|' || r.total || '|' || r.ended_by "
                                          "FROM runs AS r JOIN learners AS l ON l.id = r.learner "
                                          "WHERE r.total > 0"),
             "2024001|3|exit");
}

void TestClassEndToEnd::runsOfAServerAwayFollowAtTheNextStart()
{
    const QString history = m_session->filePath("away.sqlite");
    const QString before = onServer();
    m_server.stop();
    // The PIN cannot be checked: the pupil practises all the same.
    const pid_t drill = logIn(history, m_pin);
    QVERIFY(drill > 0);
    QVERIFY(m_session->tapKeys({"a", "s"}) && m_session->waitForLabel(drill, "总数", "2"));
    QVERIFY(m_session->tapKeys({"Escape"}));
    QCOMPARE(m_session->waitForExit(drill), 0);

    QVERIFY(m_server.start());
    QCOMPARE(onServer(), before);
    const pid_t next = logIn(history, m_pin);
    QVERIFY(next > 0);
    const QStringList held = before.split(',');
    QTRY_COMPARE_WITH_TIMEOUT(
        onServer(), QString("%1,%2").arg(held[0].toInt() + 2).arg(held[1].toInt() + 1), 10000);
}

void TestClassEndToEnd::drillKilledItsKeysFollowOnce()
{
    const QString history = m_session->filePath("killed.sqlite");
    const QStringList before = onServer().split(',');
    const auto expect = [&](int keys, int ends) {
        return QString("%1,%2").arg(before[0].toInt() + keys).arg(before[1].toInt() + ends);
    };
    const pid_t drill = logIn(history, m_pin);
    QVERIFY(drill > 0);
    QVERIFY(m_session->tapKeys({"z", "x", "c"}) && m_session->waitForLabel(drill, "总数", "3"));
    QTRY_COMPARE_WITH_TIMEOUT(onServer(), expect(3, 0), 10000);
    QVERIFY(m_session->tapKeys({"v", "b"}) && m_session->waitForLabel(drill, "总数", "5"));
    // Killed once the history holds the two keys, before or after they were sent. (The history
    // holds the pupil's earlier runs too, copied from the server at the login.)
    QTRY_COMPARE_WITH_TIMEOUT(
        HistoryDatabase(history).value("SELECT total FROM runs WHERE ended_by IS NULL"), "5",
        10000);
    ::kill(drill, SIGKILL);
    m_session->waitForExit(drill);

    // The next start ends the run as interrupted and sends what the server lacks, once.
    const pid_t next = logIn(history, m_pin);
    QVERIFY(next > 0);
    QTRY_COMPARE_WITH_TIMEOUT(onServer(), expect(5, 1), 10000);
    QCOMPARE(QString::fromStdString(
                 m_server
                     .psql(m_server.superuserConnection(),
                           "SELECT ended_by FROM typing_drill.run_ends ORDER BY ended DESC LIMIT 1")
                     .output)
                 .trimmed(),
             QString("interrupted"));
}

QTEST_GUILESS_MAIN(TestClassEndToEnd)
#include "tst_class_end_to_end.moc"
