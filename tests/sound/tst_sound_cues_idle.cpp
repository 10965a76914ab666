// The audio device closed after a while without cues, so that the audio server stops streaming
// silence for it, and opened again by the next cue or by prepare().
#include "cue_mixer.h"
#include "cue_recording.h"
#include "pulse_server.h"
#include "sound_cues.h"

#include <QtTest>

#include <thread>

using namespace std::chrono_literals;

class TestSoundCuesIdle : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cueAskedForWhileClosingPlaysFromItsStart();
    void closedDeviceOpensForTheNextCue();
    void prepareOpensTheDeviceAheadOfTheCue();

private:
    PulseServer m_server;
    std::unique_ptr<MonitorRecorder> m_recorder;
};

void TestSoundCuesIdle::initTestCase()
{
    m_server.useInThisProcess();
    QVERIFY(m_server.start());
    m_recorder = std::make_unique<MonitorRecorder>(m_server);
    QVERIFY(m_recorder->start());
}

void TestSoundCuesIdle::cleanupTestCase()
{
    m_recorder.reset();
    m_server.stop();
}

void TestSoundCuesIdle::cueAskedForWhileClosingPlaysFromItsStart()
{
    CueMixer mixer;
    mixer.setCue(Verdict::Correct, {1, 2, 3, 4, 5, 6});
    mixer.setCue(Verdict::Wrong, {-1, -2, -3, -4, -5, -6});
    std::vector<std::int16_t> buffer(4);

    // Asked for while the device closes: its last buffer takes the cue's start, and is lost.
    const std::uint32_t beforeClosing = mixer.latestRequest();
    mixer.start(Verdict::Correct);
    mixer.fill(buffer);
    mixer.keepRequestsSince(beforeClosing);
    mixer.fill(buffer);
    QCOMPARE(buffer, (std::vector<std::int16_t> {1, 2, 3, 4}));

    // Cut off by the close after it had played a while: not taken up again.
    mixer.start(Verdict::Wrong);
    mixer.fill(buffer);
    mixer.keepRequestsSince(mixer.latestRequest());
    mixer.fill(buffer);
    QCOMPARE(buffer, (std::vector<std::int16_t> {0, 0, 0, 0}));
}

void TestSoundCuesIdle::closedDeviceOpensForTheNextCue()
{
    SoundCuesOptions options;
    options.idleClose = 1s;
    SoundCues cues(options);
    QVERIFY2(warmUp(cues, *m_recorder, 10s, Verdict::Wrong), "no cue before the pause");
    for (int pause = 0; pause < 3; ++pause) {
        QTRY_VERIFY_WITH_TIMEOUT(!cues.isOutputOpen(), 10000);
        // Asked for while the device is closed, the cue opens it and plays, a little late: a
        // cue is dropped only while there is no audio server.
        const std::size_t from = m_recorder->sampleCount();
        cues.playCue(Verdict::Correct);
        QVERIFY(m_recorder->waitForSamples(from + 2 * 44100, 5s));
        QVERIFY2(heardAfter(*m_recorder, Verdict::Correct, from),
                 qPrintable(QString("the cue after pause %1 was not heard").arg(pause + 1)));
    }
}

void TestSoundCuesIdle::prepareOpensTheDeviceAheadOfTheCue()
{
    SoundCuesOptions options;
    options.idleClose = 1s;
    SoundCues cues(options);
    QTRY_VERIFY_WITH_TIMEOUT(cues.isOutputOpen(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!cues.isOutputOpen(), 10000);
    cues.prepare();
    QTRY_VERIFY_WITH_TIMEOUT(cues.isOutputOpen(), 10000);
    // Opened without a cue, it closes again once the idle time has passed.
    QTRY_VERIFY_WITH_TIMEOUT(!cues.isOutputOpen(), 10000);
}

QTEST_GUILESS_MAIN(TestSoundCuesIdle)
#include "tst_sound_cues_idle.moc"
