#include "desktop_session.h"
#include "pulse_server.h"

#include <QJsonObject>
#include <QtTest>

// The built program as a native Wayland client of a headless sway: keys come from a virtual
// keyboard, the labels are read over the accessibility bus, and the window is seen as the
// compositor (and so the dock) sees it.
class TestEndToEndWayland : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void windowShowsAsItsDesktopEntryAtAFixedSize();
    void drillRunsFromStartToExit();
    void activationPutsTheFocusInTheAnswerBox();

private:
    pid_t startProgram();
    bool hasKeyboard(pid_t program) const;
    QString shownLetter(pid_t program) const;

    DesktopSession m_session {DesktopSession::Display::Wayland};
    // Never started: the program finds no audio server, and plays nothing on a developer's one.
    PulseServer m_noSound;
    pid_t m_program = -1;
};

void TestEndToEndWayland::initTestCase()
{
    QVERIFY2(m_session.start(), qPrintable(m_session.error()));
}

void TestEndToEndWayland::init()
{
    m_program = startProgram();
    QVERIFY2(m_session.waitForLabel(m_program, "总数", "0"),
             "the window never showed its statistics");
    // Its labels can be read a moment before the compositor maps the window and gives it keys.
    QTRY_VERIFY(hasKeyboard(m_program));
}

void TestEndToEndWayland::cleanup()
{
    m_session.endProgram(m_program);
    m_program = -1;
}

pid_t TestEndToEndWayland::startProgram()
{
    return m_session.startProgram({TYPING_DRILL_PROGRAM}, m_noSound.clientEnvironment());
}

bool TestEndToEndWayland::hasKeyboard(pid_t program) const
{
    return m_session.compositorWindow(program).value("focused").toBool();
}

QString TestEndToEndWayland::shownLetter(pid_t program) const
{
    return m_session.readWindow(program).value("字母");
}

void TestEndToEndWayland::windowShowsAsItsDesktopEntryAtAFixedSize()
{
    const QJsonObject window = m_session.compositorWindow(m_program);
    QCOMPARE(window.value("shell").toString(), "xdg_shell");
    QCOMPARE(window.value("app_id").toString(), "org.example.TypingDrill");
    QCOMPARE(window.value("name").toString(), "青禾打字软件V1.1\u2014送给我的宝贝禾乖乖");
    // sway floats a window whose least and greatest sizes agree (a fixed size), at that size:
    // 7095 x 5295 twips.
    QCOMPARE(window.value("type").toString(), "floating_con");
    const QJsonObject rect = window.value("rect").toObject();
    QCOMPARE(rect.value("width").toInt(), 473);
    QCOMPARE(rect.value("height").toInt(), 353);
}

void TestEndToEndWayland::drillRunsFromStartToExit()
{
    QMap<QString, QString> labels = m_session.readWindow(m_program);
    QCOMPARE(labels.value("正确"), "0");
    QCOMPARE(labels.value("错误"), "0");
    QCOMPARE(labels.value("速度"), "0 字/分");
    QCOMPARE(labels.value("正确率"), "0 %");
    const QString first = shownLetter(m_program);
    QVERIFY2(first.size() == 1 && first >= "A" && first <= "Z", qPrintable(first));

    // The letter shown, typed in lower case, straight into the window as it opened: correct.
    QVERIFY(m_session.tapKeys({first.toLower()}));
    QVERIFY(m_session.waitForLabel(m_program, "总数", "1"));
    labels = m_session.readWindow(m_program);
    QCOMPARE(labels.value("正确"), "1");
    QCOMPARE(labels.value("正确率"), "100%");

    // Another letter held for 1.5 s, which Qt itself repeats about 20 times: judged once, wrong.
    const QString other = shownLetter(m_program) == "A" ? "b" : "a";
    QVERIFY(m_session.pressKey(other));
    QTest::qWait(1500);
    QVERIFY(m_session.releaseKey(other));
    QVERIFY(m_session.waitForLabel(m_program, "总数", "2"));
    QTest::qWait(300);
    labels = m_session.readWindow(m_program);
    QCOMPARE(labels.value("总数"), "2");
    QCOMPARE(labels.value("错误"), "1");
    QCOMPARE(labels.value("正确率"), "50%");

    // Enter restarts the count; Esc ends the program with status 0.
    QVERIFY(m_session.tapKeys({"Return"}));
    QVERIFY(m_session.waitForLabel(m_program, "正确率", "0 %"));
    QCOMPARE(m_session.readWindow(m_program).value("总数"), "0");
    QVERIFY(m_session.tapKeys({"Escape"}));
    QCOMPARE(m_session.waitForExit(m_program), 0);
}

void TestEndToEndWayland::activationPutsTheFocusInTheAnswerBox()
{
    // Tab leaves the focus on a button; a second window then takes the keyboard.
    QVERIFY(m_session.tapKeys({"Tab"}));
    const pid_t second = startProgram();
    QVERIFY(m_session.waitForLabel(second, "总数", "0"));
    QTRY_VERIFY(hasKeyboard(second));
    QVERIFY(m_session.tapKeys({"a"}));
    QVERIFY(m_session.waitForLabel(second, "总数", "1"));

    // Activated again by the compositor, the first window judges the next key at once.
    QVERIFY(m_session.compositorCommand(QString("[pid=%1] focus").arg(m_program)));
    QVERIFY(hasKeyboard(m_program));
    QVERIFY(m_session.tapKeys({"a"}));
    QVERIFY(m_session.waitForLabel(m_program, "总数", "1"));
    QCOMPARE(m_session.readWindow(second).value("总数"), "1");
    m_session.endProgram(second);
}

QTEST_GUILESS_MAIN(TestEndToEndWayland)
#include "tst_end_to_end_wayland.moc"
