// The audio device closed while nobody types, and opened again by the next key: the window asks
// for it on the key's press, and the cue of the key's release is heard.
#include "cue_recording.h"
#include "form1.h"
#include "pulse_server.h"
#include "sound_cues.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <memory>

using namespace std::chrono_literals;

class TestIdleSound : public QObject
{
    Q_OBJECT

private slots:
    void keyPressPreparesTheCueAheadOfItsRelease();
    void cueAfterTheDeviceClosedIsHeard();

private:
    QString text(const Form1 &form, const char *name) const
    {
        return form.findChild<QLabel *>(name)->text();
    }
};

void TestIdleSound::keyPressPreparesTheCueAheadOfItsRelease()
{
    QStringList calls;
    Form1 form([&calls](Verdict) { calls << "cue"; }, [&calls] { calls << "prepare"; });
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QWindow *window = form.windowHandle();

    QTest::simulateEvent(window, true, Qt::Key_Q, {}, "q", false);
    QCOMPARE(calls, QStringList {"prepare"});
    // Held down: the window system's repeated presses ask for nothing more.
    for (int i = 0; i < 5; ++i) {
        QTest::simulateEvent(window, false, Qt::Key_Q, {}, "q", true);
        QTest::simulateEvent(window, true, Qt::Key_Q, {}, "q", true);
    }
    QTest::simulateEvent(window, false, Qt::Key_Q, {}, "q", false);
    QCOMPARE(calls, (QStringList {"prepare", "cue"}));

    // Enter restarts: no cue follows it, so there is nothing to prepare.
    calls.clear();
    QTest::keyClick(window, Qt::Key_Return);
    QCOMPARE(calls, QStringList());
    // Keys pressed while a button has the focus are not the answer box's.
    QTest::keyClick(window, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), "Command2");
    calls.clear(); // the Tab itself went down in the answer box
    QTest::keyClick(window, Qt::Key_Q);
    QCOMPARE(calls, QStringList());
}

void TestIdleSound::cueAfterTheDeviceClosedIsHeard()
{
    PulseServer server;
    server.useInThisProcess();
    QVERIFY(server.start());
    MonitorRecorder recorder(server);
    QVERIFY(recorder.start());

    SoundCuesOptions options;
    options.idleClose = 1500ms;
    SoundCues cues(options);
    Form1 form([&cues](Verdict verdict) { cues.playCue(verdict); }, [&cues] { cues.prepare(); });
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QWidget *answer = QApplication::focusWidget();
    QVERIFY(answer && answer->objectName() == "Text1");
    // A fresh sink can hold back its first stream: play until a cue is heard.
    QVERIFY2(warmUp(cues, recorder, 10s, Verdict::Wrong), "no cue before the pause");

    for (int pause = 0; pause < 3; ++pause) {
        QTRY_VERIFY_WITH_TIMEOUT(!cues.isOutputOpen(), 10000);
        const std::size_t from = recorder.sampleCount();
        const QString letter = text(form, "zimu");
        const auto key = static_cast<Qt::Key>(Qt::Key_A + (letter.at(0).unicode() - 'A'));
        const QString correct = text(form, "zhengque2");
        QTest::keyPress(answer, key);
        QTest::qWait(80); // a key's usual time down
        QTest::keyRelease(answer, key);
        QCOMPARE(text(form, "zhengque2").toInt(), correct.toInt() + 1);
        QVERIFY(cues.isOutputOpen());
        QVERIFY(recorder.waitForSamples(from + 44100, 5s));
        QVERIFY2(heardAfter(recorder, Verdict::Correct, from),
                 qPrintable(QString("the cue after pause %1 was not heard").arg(pause + 1)));
    }
}

QTEST_MAIN(TestIdleSound)
#include "tst_idle_sound.moc"
