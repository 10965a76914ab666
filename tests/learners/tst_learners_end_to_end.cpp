#include "desktop_session.h"
#include "history_database.h"
#include "history_store.h"
#include "learners.h"

#include <QFile>
#include <QtTest>

#include <memory>

// The built drill under Xvfb, for a history of several learners: the chooser, the learner's name
// in the title, --learner adding one, the weak-letter practice, each run under its learner.
class TestLearnersEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup() { m_session->endPrograms(); }
    void chooserOpensTheDrillOfTheLearnerChosen();
    void learnerOptionAddsAndPractisesWeakLetters();

private:
    std::unique_ptr<DesktopSession> m_session;
    QString m_history;
};

void TestLearnersEndToEnd::initTestCase()
{
    m_session = std::make_unique<DesktopSession>(DesktopSession::Display::X11);
    QVERIFY2(m_session->start(), qPrintable(m_session->error()));
    m_history = m_session->filePath("family.sqlite");
    HistoryFault fault = HistoryFault::None;
    const auto store = HistoryStore::open(m_history.toStdString(), fault, {});
    QVERIFY(store);
    std::int64_t id = 0;
    for (const char *name : {"Ann", "Ben"})
        QCOMPARE(addLearner(*store, name, &id), LearnerChange::Done);
}

void TestLearnersEndToEnd::chooserOpensTheDrillOfTheLearnerChosen()
{
    const QString drillTitle = QStringLiteral("青禾打字软件V1.1\u2014送给我的宝贝禾乖乖");
    const pid_t drill =
        m_session->startProgram({TYPING_DRILL_PROGRAM, "--history-file", m_history});
    // Three learners: the account's, made with the history, then Ann and Ben.
    QVERIFY(!m_session->waitForTitle(drill, QStringLiteral("谁来练习？")).isEmpty());
    QVERIFY(m_session->tapKeys({"b", "Return"}));
    QVERIFY(!m_session->waitForTitle(drill, drillTitle + QStringLiteral(" \u2014 Ben")).isEmpty());
    QVERIFY(m_session->waitForLabel(drill, "总数", "0"));
    QVERIFY(m_session->tapKeys({"q", "w"}) && m_session->waitForLabel(drill, "总数", "2"));
    QVERIFY(m_session->tapKeys({"Escape"}));
    QCOMPARE(m_session->waitForExit(drill), 0);
    QCOMPARE(HistoryDatabase(m_history).value("SELECT l.name || '|' || r.total || '|' || r.mode "
                                              "FROM runs AS r JOIN learners AS l "
                                              "ON l.id = r.learner"),
             "Ben|2|random");

    // Esc in the chooser: no drill, nothing stored.
    const pid_t closed =
        m_session->startProgram({TYPING_DRILL_PROGRAM, "--history-file", m_history});
    QVERIFY(!m_session->waitForTitle(closed, QStringLiteral("谁来练习？")).isEmpty());
    QVERIFY(m_session->tapKeys({"Escape"}));
    QCOMPARE(m_session->waitForExit(closed), 0);
    QCOMPARE(HistoryDatabase(m_history).value("SELECT count(*) FROM runs"), "1");
}

void TestLearnersEndToEnd::learnerOptionAddsAndPractisesWeakLetters()
{
    const pid_t drill = m_session->startProgram({TYPING_DRILL_PROGRAM, "--history-file", m_history,
                                                 "--learner", " 小红 ", "--practice", "weak"});
    QVERIFY(
        !m_session
             ->waitForTitle(drill,
                            QStringLiteral("青禾打字软件V1.1\u2014送给我的宝贝禾乖乖 \u2014 小红 "
                                           "\u2014 薄弱字母"))
             .isEmpty());
    QVERIFY(m_session->waitForLabel(drill, "总数", "0"));
    // The log goes with the program: opened while it runs, read after.
    QFile log(m_session->programLog(drill));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QVERIFY(m_session->tapKeys({"e"}) && m_session->waitForLabel(drill, "总数", "1"));
    QVERIFY(m_session->tapKeys({"Escape"}));
    QCOMPARE(m_session->waitForExit(drill), 0);
    QCOMPARE(log.readAll().count("Added the learner \"小红\"."), 1);
    QCOMPARE(HistoryDatabase(m_history).value("SELECT count(*) FROM runs AS r JOIN learners AS l "
                                              "ON l.id = r.learner WHERE l.name = '小红' "
                                              "AND r.mode = 'weak' AND r.total = 1"),
             "1");
}

QTEST_GUILESS_MAIN(TestLearnersEndToEnd)
#include "tst_learners_end_to_end.moc"
