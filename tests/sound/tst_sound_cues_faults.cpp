// SoundCues when things go wrong: no audio server, a hung one, one that dies and comes back,
// and a missing asset.
#include "cue_recording.h"
#include "monitor_recorder.h"
#include "pulse_server.h"
#include "sound_cues.h"

#include <QtTest>

#include <cstdio>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// Collects what this process writes to its standard error while it lives.
class StandardErrorCapture
{
public:
    StandardErrorCapture()
    {
        std::fflush(stderr);
        m_saved = dup(STDERR_FILENO);
        if (pipe2(m_pipe, O_NONBLOCK | O_CLOEXEC) == 0)
            dup2(m_pipe[1], STDERR_FILENO);
    }
    ~StandardErrorCapture()
    {
        std::fflush(stderr);
        dup2(m_saved, STDERR_FILENO);
        close(m_saved);
        close(m_pipe[0]);
        close(m_pipe[1]);
    }
    QString text()
    {
        std::fflush(stderr);
        QByteArray bytes;
        char buffer[4096];
        ssize_t got;
        while ((got = read(m_pipe[0], buffer, sizeof buffer)) > 0)
            bytes.append(buffer, got);
        return QString::fromLocal8Bit(bytes);
    }

private:
    int m_saved = -1;
    int m_pipe[2] = {-1, -1};
};

} // namespace

class TestSoundCuesFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void withoutAServerCuesAreDropped();
    void aHungServerNeverBlocksTheCaller();
    void aServerStartedLaterIsFound();
    void aServerKilledAndRestartedIsHeardAgain();
    void aMissingAssetSoundsTheDefaultAlert();

private:
    // Each test's clients use this server's address; it runs only where a test starts it.
    PulseServer m_server;
};

void TestSoundCuesFaults::initTestCase()
{
    m_server.useInThisProcess();
}

void TestSoundCuesFaults::withoutAServerCuesAreDropped()
{
    int alerts = 0;
    SoundCuesOptions options;
    options.defaultAlert = [&alerts] {
        ++alerts;
    };
    SoundCues cues(options);
    // The first attempt may have the system's audio library complain once; after it, neither
    // the keys nor the retries once a second may print anything.
    std::this_thread::sleep_for(300ms);
    QString printed;
    {
        StandardErrorCapture capture;
        for (int i = 0; i < 1000; ++i)
            cues.playCue(i % 2 ? Verdict::Wrong : Verdict::Correct);
        std::this_thread::sleep_for(2500ms);
        printed = capture.text();
    }
    QVERIFY(!cues.isOutputOpen());
    QCOMPARE(alerts, 0); // the assets are there; there is just nobody to play them
    QCOMPARE(printed, QString());
}

void TestSoundCuesFaults::aHungServerNeverBlocksTheCaller()
{
    QVERIFY(m_server.start());
    m_server.freeze();
    // While the server is stopped, opening the device hangs on the worker thread; the caller
    // must not notice: making, using and dropping the cues take no time at all compared with
    // the seconds the server stays stopped.
    const auto before = Clock::now();
    {
        SoundCues cues;
        for (int i = 0; i < 200; ++i) {
            cues.playCue(i % 2 ? Verdict::Wrong : Verdict::Correct);
            std::this_thread::sleep_for(1ms);
        }
        QVERIFY(!cues.isOutputOpen());
    }
    const auto took = Clock::now() - before;
    std::this_thread::sleep_for(3s - took);
    m_server.thaw();
    QVERIFY2(took < 2s, qPrintable(QString("took %1 ms").arg((took / 1ms))));
    // The thawed server lets the old worker connect; killing it at that moment would hit a
    // fault of SDL 2.26's PulseAudio hot-plug thread (it aborts when its subscription fails,
    // SDL issue 7971). Outputs open one after another, so a new one opening means the old
    // worker has finished.
    SoundCues probe;
    QTRY_VERIFY_WITH_TIMEOUT(probe.isOutputOpen(), 10000);
    m_server.stop();
}

void TestSoundCuesFaults::aServerStartedLaterIsFound()
{
    SoundCues cues;
    std::this_thread::sleep_for(1500ms); // the worker has failed to open at least once
    QVERIFY(!cues.isOutputOpen());
    cues.playCue(Verdict::Wrong); // asked for while there is no server: dropped

    QVERIFY(m_server.start());
    MonitorRecorder recorder(m_server);
    QVERIFY(recorder.start());
    const auto started = Clock::now();
    QVERIFY2(warmUp(cues, recorder, 10s, Verdict::Correct), "never heard once the server came");
    qInfo("heard %lld ms after the server started",
          static_cast<long long>((Clock::now() - started) / 1ms));
    QCOMPARE(firstStart(recorder, Verdict::Wrong, 0), SIZE_MAX);
    recorder.stop();
    m_server.stop();
}

void TestSoundCuesFaults::aServerKilledAndRestartedIsHeardAgain()
{
    QVERIFY(m_server.start());
    SoundCues cues;
    {
        MonitorRecorder recorder(m_server);
        QVERIFY(recorder.start());
        QVERIFY2(warmUp(cues, recorder, 10s, Verdict::Correct), "not heard before the crash");
        m_server.kill();
    }
    std::this_thread::sleep_for(1s);
    for (int i = 0; i < 20; ++i)
        cues.playCue(Verdict::Wrong); // during the outage: dropped, never played late
    QVERIFY(m_server.start());
    MonitorRecorder recorder(m_server);
    QVERIFY(recorder.start());
    const auto restarted = Clock::now();
    QVERIFY2(warmUp(cues, recorder, 10s, Verdict::Correct), "never heard after the restart");
    qInfo("heard again %lld ms after the server restarted",
          static_cast<long long>((Clock::now() - restarted) / 1ms));
    QCOMPARE(firstStart(recorder, Verdict::Wrong, 0), SIZE_MAX);
    recorder.stop();
    m_server.stop();
}

void TestSoundCuesFaults::aMissingAssetSoundsTheDefaultAlert()
{
    QTemporaryDir folder;
    QFile original(":/sounds/102.wav");
    QVERIFY(original.open(QIODevice::ReadOnly));
    QFile cut(folder.filePath("cut.wav"));
    QVERIFY(cut.open(QIODevice::WriteOnly));
    cut.write(original.readAll().chopped(2000));
    cut.close();

    int alerts = 0;
    SoundCuesOptions options;
    options.correctAsset = ":/sounds/none.wav";
    options.wrongAsset = cut.fileName().toStdString();
    options.defaultAlert = [&alerts] {
        ++alerts;
    };
    SoundCues cues(options);
    cues.playCue(Verdict::Correct);
    cues.playCue(Verdict::Correct);
    QCOMPARE(alerts, 2);
    cues.playCue(Verdict::Wrong);
    QCOMPARE(alerts, 3);

    // With the program's own alert, QApplication::beep(): sounds, and nothing breaks.
    SoundCuesOptions beeping;
    beeping.correctAsset = ":/sounds/none.wav";
    SoundCues beepingCues(beeping);
    beepingCues.playCue(Verdict::Correct);
    beepingCues.playCue(Verdict::Wrong);
}

QTEST_MAIN(TestSoundCuesFaults)
#include "tst_sound_cues_faults.moc"
