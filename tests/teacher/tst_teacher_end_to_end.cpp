// typing-drill-progress --server under Xvfb with real keys, on a private class server: the
// teacher types the password the dialog asks for and sees the class.
#include "class_server_fixture.h"
#include "desktop_session.h"

#include <QtTest>

class TestTeacherEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void passwordThenClass();
};

void TestTeacherEndToEnd::passwordThenClass()
{
    ClassServerFixture fixture;
    std::string error;
    QVERIFY2(fixture.start(error), error.c_str());
    fixture.addRun(fixture.addPupil("一班", "A001", "小明"),
                   double(QDateTime::currentSecsSinceEpoch()) - 120, 60, 40,
                   answers('R', 9, 1, 'P'));
    DesktopSession session(DesktopSession::Display::X11);
    QVERIFY2(session.start(), qPrintable(session.error()));

    // No password in the connection string: libpq finds none, so the program asks.
    const QString conninfo = QString::fromStdString(fixture.server().tcpConnection("王老师", ""));
    const pid_t program = session.startProgram({PROGRESS_PROGRAM, "--server", conninfo});
    QVERIFY(program > 0);
    QVERIFY2(!session.waitForTitle(program, "登录班级服务器").isEmpty(),
             qPrintable(session.programLog(program)));
    QVERIFY(session.tapKeys({"s", "e", "c", "r", "e", "t", "Return"}));
    QVERIFY2(!session.waitForTitle(program, "班级练习 — 青禾打字软件").isEmpty(),
             qPrintable(session.programLog(program)));
    QVERIFY(session.waitForLabel(program, "读取的状态", "一班：1 位学员，本周一以来"));
    session.endProgram(program);
}

QTEST_GUILESS_MAIN(TestTeacherEndToEnd)
#include "tst_teacher_end_to_end.moc"
