#include "desktop_session.h"

#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <memory>

using namespace std::chrono_literals;

// The built programs under Xvfb, as a person meets them: keys typed into the real drill, then
// the progress window opened with typing-drill --progress and read over the accessibility bus;
// and the window on a large generated history.
class TestProgressEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void typedKeysShowInTheProgressWindow();
    void everyKeyOfAGeneratedHistory();

private:
    bool waitForText(pid_t program, const QString &description, const QString &part);
    bool typeShownLetter(pid_t drill, int totalAfter);

    std::unique_ptr<DesktopSession> m_session;
};

void TestProgressEndToEnd::initTestCase()
{
    m_session = std::make_unique<DesktopSession>(DesktopSession::Display::X11);
    QVERIFY2(m_session->start(), qPrintable(m_session->error()));
}

void TestProgressEndToEnd::cleanup()
{
    m_session->endPrograms();
}

bool TestProgressEndToEnd::waitForText(pid_t program, const QString &description,
                                       const QString &part)
{
    QString seen;
    for (int attempt = 0; attempt < 60; ++attempt) {
        seen = m_session->readWindow(program).value(description);
        if (seen.contains(part))
            return true;
        QTest::qWait(100);
    }
    qWarning() << description << "reads" << seen << "without" << part;
    return false;
}

bool TestProgressEndToEnd::typeShownLetter(pid_t drill, int totalAfter)
{
    const QString letter = m_session->readWindow(drill).value("字母");
    return letter.size() == 1 && m_session->tapKeys({letter.toLower()})
        && m_session->waitForLabel(drill, "总数", QString::number(totalAfter));
}

void TestProgressEndToEnd::typedKeysShowInTheProgressWindow()
{
    const QString history = m_session->filePath("typed.sqlite");
    const pid_t drill = m_session->startProgram({TYPING_DRILL_PROGRAM, "--history-file", history});
    QVERIFY(m_session->waitForLabel(drill, "总数", "0"));
    for (int total = 1; total <= 3; ++total)
        QVERIFY(typeShownLetter(drill, total));
    const QString shown = m_session->readWindow(drill).value("字母");
    QVERIFY(m_session->tapKeys({shown == "Q" ? "w" : "q"}));
    QVERIFY(m_session->waitForLabel(drill, "错误", "1"));
    QVERIFY(m_session->tapKeys({"Escape"}));
    QCOMPARE(m_session->waitForExit(drill), 0);

    // The drill's own option replaces itself with the progress window on the same history.
    const pid_t progress =
        m_session->startProgram({TYPING_DRILL_PROGRAM, "--progress", "--history-file", history});
    QVERIFY(waitForText(progress, "全部", QStringLiteral("1 次，4 键，正确率 75.0 %")));
    QVERIFY(waitForText(progress, "今天", QStringLiteral("1 次，4 键")));
    QVERIFY(waitForText(progress, "连续练习", QStringLiteral("已经连续练习 1 天")));
    // Four answers on at most four keys: those keys and the untouched ones say they have too
    // few answers to judge.
    const QStringList descriptions = m_session->readWindow(progress).keys();
    QVERIFY(descriptions.contains(QStringLiteral("只练过 0 次，还不够判断")));
    QVERIFY(!descriptions.filter(QRegularExpression("^只练过 [1-4] 次，还不够判断$")).isEmpty());

    // A drill started meanwhile: its run shows while the window stays open.
    const pid_t again = m_session->startProgram({TYPING_DRILL_PROGRAM, "--history-file", history});
    QVERIFY(m_session->waitForLabel(again, "总数", "0"));
    QVERIFY(m_session->run("xdotool",
                           {"search", "--sync", "--all", "--pid", QString::number(again), "--name",
                            ".", "windowfocus", "--sync"}));
    QVERIFY(typeShownLetter(again, 1));
    QVERIFY(m_session->tapKeys({"Escape"}));
    QCOMPARE(m_session->waitForExit(again), 0);
    QVERIFY(waitForText(progress, "全部", QStringLiteral("2 次，5 键，正确率 80.0 %")));
}

void TestProgressEndToEnd::everyKeyOfAGeneratedHistory()
{
    const QString history = m_session->filePath("generated.sqlite");
    QProcess generator;
    generator.start(GENERATE_HISTORY_PROGRAM, {history, "--runs", "40", "--keys", "2000"});
    QVERIFY(generator.waitForFinished(30000));
    QCOMPARE(generator.exitCode(), 0);

    const pid_t progress = m_session->startProgram({PROGRESS_PROGRAM, "--history-file", history});
    QVERIFY(waitForText(progress, "全部", QStringLiteral("40 次，2000 键")));
    // Every key judges its letter, and their answers add up to the keys of the whole history.
    const QMap<QString, QString> lines = m_session->readWindow(progress);
    const QRegularExpression figures(
        QStringLiteral("^正确率 \\d+\\.\\d %（(\\d+)/(\\d+)），反应中位数 \\d+ ms"));
    qint64 asked = 0;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const QString description = lines.key(QString(QChar::fromLatin1(letter)));
        const QRegularExpressionMatch match = figures.match(description);
        QVERIFY2(match.hasMatch(), qPrintable(QString("%1: %2").arg(letter).arg(description)));
        QVERIFY(match.captured(1).toLongLong() <= match.captured(2).toLongLong());
        asked += match.captured(2).toLongLong();
    }
    QCOMPARE(asked, 2000);
}

QTEST_GUILESS_MAIN(TestProgressEndToEnd)
#include "tst_progress_end_to_end.moc"
