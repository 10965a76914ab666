#include "desktop_session.h"
#include "history_database.h"

#include <QFile>
#include <QtTest>

#include <csignal>
#include <memory>

using namespace std::chrono_literals;

// The built drill under Xvfb, typed into with real keys, its history read from the file:
// a killed drill, two drills at once, and a path that is no file.
class TestHistoryEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void killedDrillEndsInterruptedAtTheNextStart();
    void twoDrillsAtOnceRecordEverything();
    void drillJudgesWithAPathThatIsNoFile();

private:
    pid_t startDrill(const QString &history);
    bool typeInto(pid_t drill, const QStringList &keys, const QString &totalAfter);
    bool focus(pid_t drill);

    std::unique_ptr<DesktopSession> m_session;
    QString m_history;
};

void TestHistoryEndToEnd::initTestCase()
{
    m_session = std::make_unique<DesktopSession>(DesktopSession::Display::X11);
    QVERIFY2(m_session->start(), qPrintable(m_session->error()));
}

void TestHistoryEndToEnd::cleanup()
{
    m_session->endPrograms();
}

pid_t TestHistoryEndToEnd::startDrill(const QString &history)
{
    const pid_t drill = m_session->startProgram({TYPING_DRILL_PROGRAM, "--history-file", history});
    return m_session->waitForLabel(drill, "总数", "0") ? drill : -1;
}

bool TestHistoryEndToEnd::typeInto(pid_t drill, const QStringList &keys, const QString &totalAfter)
{
    return m_session->tapKeys(keys) && m_session->waitForLabel(drill, "总数", totalAfter);
}

bool TestHistoryEndToEnd::focus(pid_t drill)
{
    // Without a window manager a window has the keyboard only when it is given it.
    return m_session->run("xdotool",
                          {"search", "--sync", "--all", "--pid", QString::number(drill), "--name",
                           ".", "windowfocus", "--sync"});
}

void TestHistoryEndToEnd::killedDrillEndsInterruptedAtTheNextStart()
{
    const QString history = m_session->filePath("killed.sqlite");
    const pid_t first = startDrill(history);
    QVERIFY(first > 0);
    QVERIFY(typeInto(first, {"a", "s", "d"}, "3"));
    HistoryDatabase db(history);
    // Written within two seconds of the keys, while the drill goes on.
    QTRY_COMPARE_WITH_TIMEOUT(db.value("SELECT count(*) FROM keys"), "3", 5000);
    ::kill(first, SIGKILL);
    QCOMPARE(m_session->waitForExit(first), -1);
    QCOMPARE(db.value("SELECT ended_by IS NULL FROM runs"), "1");

    const pid_t next = startDrill(history);
    QVERIFY(next > 0);
    QTRY_COMPARE_WITH_TIMEOUT(db.value("SELECT ended_by, total FROM runs WHERE id = 1"),
                              "interrupted|3", 5000);
    QVERIFY(m_session->tapKeys({"Escape"}));
    QCOMPARE(m_session->waitForExit(next), 0);
}

void TestHistoryEndToEnd::twoDrillsAtOnceRecordEverything()
{
    const QString history = m_session->filePath("shared.sqlite");
    const pid_t first = startDrill(history);
    QVERIFY(first > 0);
    QVERIFY(typeInto(first, {"q", "w"}, "2"));
    const pid_t second = startDrill(history);
    QVERIFY(second > 0);
    QVERIFY(typeInto(second, {"e", "r", "t"}, "3"));
    QVERIFY(focus(first));
    QVERIFY(typeInto(first, {"y"}, "3"));
    QVERIFY(m_session->tapKeys({"Escape"}));
    QCOMPARE(m_session->waitForExit(first), 0);
    QVERIFY(focus(second));
    QVERIFY(m_session->tapKeys({"Escape"}));
    QCOMPARE(m_session->waitForExit(second), 0);

    HistoryDatabase db(history);
    QCOMPARE(db.rows("SELECT ended_by, total, group_concat(key_code, ' ') FROM runs "
                     "JOIN keys ON keys.run = runs.id GROUP BY runs.id ORDER BY runs.id"),
             QStringList({"exit|3|81 87 89", "exit|3|69 82 84"}));
}

void TestHistoryEndToEnd::drillJudgesWithAPathThatIsNoFile()
{
    // A symlink loop once ended the program from its history's start-up.
    const QString history = m_session->filePath("loop");
    QVERIFY(QFile::link(history + ".b", history) && QFile::link(history, history + ".b"));

    const pid_t drill = startDrill(history);
    QVERIFY(drill > 0);
    QFile log(m_session->programLog(drill));
    QVERIFY(typeInto(drill, {"z", "x"}, "2"));
    QVERIFY(m_session->tapKeys({"Escape"}));
    QCOMPARE(m_session->waitForExit(drill), 0);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QStringList said = QString::fromUtf8(log.readAll()).split('\n').filter("typing-drill:");
    QCOMPARE(said.size(), 1);
    QVERIFY2(said.first().contains(history) && said.first().contains("not a file"),
             qPrintable(said.first()));
}

QTEST_GUILESS_MAIN(TestHistoryEndToEnd)
#include "tst_history_end_to_end.moc"
