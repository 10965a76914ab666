// The window with the program's lazily loaded cues when sound cannot be had: the sound module
// missing, or loaded with no audio server (nor a sound card). The drill judges every key either
// way; a missing module sounds the default alert for each cue and says so in one line on
// standard error, and no library may print anything there when the audio system is not found.
#include "form1.h"
#include "lazy_sound_cues.h"
#include "pulse_server.h"

#include <QLabel>
#include <QTemporaryFile>
#include <QtTest>

#include <unistd.h>

class TestSoundLoading : public QObject
{
    Q_OBJECT

private slots:
    void drillGoesOnWithoutSound_data();
    void drillGoesOnWithoutSound();
};

namespace {

// Sends what this process writes to standard error into a file while it lives.
class CapturedStandardError
{
public:
    CapturedStandardError()
    {
        m_file.open();
        std::fflush(stderr);
        m_saved = dup(STDERR_FILENO);
        dup2(m_file.handle(), STDERR_FILENO);
    }
    ~CapturedStandardError() { restore(); }
    // Ends the capture and gives what was written.
    QStringList lines()
    {
        restore();
        m_file.seek(0);
        return QString::fromLocal8Bit(m_file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        dup2(m_saved, STDERR_FILENO);
        close(m_saved);
        m_saved = -1;
    }
    QTemporaryFile m_file;
    int m_saved = -1;
};

} // namespace

void TestSoundLoading::drillGoesOnWithoutSound_data()
{
    QTest::addColumn<QString>("module");
    QTest::addColumn<bool>("alerts");
    QTest::newRow("module missing") << "no-such-folder/sound.so" << true;
    QTest::newRow("no audio server") << SOUND_MODULE << false;
}

void TestSoundLoading::drillGoesOnWithoutSound()
{
    QFETCH(QString, module);
    QFETCH(bool, alerts);
    PulseServer absent; // never started: its address leads nowhere
    absent.useInThisProcess();
    CapturedStandardError standardError;

    int alerted = 0;
    LazySoundCuesOptions options;
    options.modulePath = module.toStdString();
    options.defaultAlert = [&alerted] {
        ++alerted;
    };
    LazySoundCues cues(options);
    Form1 form([&cues](Verdict verdict) { cues.playCue(verdict); }, [&cues] { cues.prepare(); });
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QWidget *answer = QApplication::focusWidget();
    QVERIFY(answer);
    const auto typeKeys = [&](int count) {
        for (int i = 0; i < count; ++i) {
            const auto key = static_cast<Qt::Key>(Qt::Key_A + i % 26);
            QTest::keyPress(answer, key);
            QTest::keyRelease(answer, key);
        }
    };
    // The first key loads the module; its cue may come too late to be played. Then the output
    // tries its devices and gives up.
    typeKeys(1);
    QTest::qWait(1500);
    alerted = 0;
    typeKeys(30);
    QTest::qWait(500);
    QCOMPARE(form.findChild<QLabel *>("zongshu2")->text(), "31");
    QCOMPARE(alerted, alerts ? 30 : 0);
    const QStringList written = standardError.lines();
    if (alerts) {
        QCOMPARE(written.size(), 1);
        QVERIFY2(written.front().contains(module), qPrintable(written.front()));
    } else {
        QVERIFY2(written.isEmpty(), qPrintable(written.join('\n')));
    }
}

QTEST_MAIN(TestSoundLoading)
#include "tst_sound_loading.moc"
