// SoundCues against a real PulseAudio daemon with a null sink, listening at the sink's monitor.
#include "cue_matching.h"
#include "cue_recording.h"
#include "monitor_recorder.h"
#include "pulse_server.h"
#include "sound_cues.h"

#include <QtTest>

#include <memory>
#include <thread>

using namespace std::chrono_literals;

Q_DECLARE_METATYPE(Verdict)

namespace {

// One cue start found in the recording.
struct HeardCue
{
    std::size_t start;
    Verdict verdict;
};

std::vector<HeardCue> heardCues(const std::vector<std::int16_t> &recording, std::size_t from)
{
    std::vector<HeardCue> heard;
    for (Verdict verdict : {Verdict::Correct, Verdict::Wrong})
        for (std::size_t start : findCueStarts(recording, playedCue(verdict), from))
            heard.push_back({start, verdict});
    std::sort(heard.begin(), heard.end(),
              [](const HeardCue &a, const HeardCue &b) { return a.start < b.start; });
    return heard;
}

} // namespace

class TestSoundCuesPulse : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void playsTheWholeCue_data();
    void playsTheWholeCue();
    void secondCueCutsTheFirstAndStartsOver_data();
    void secondCueCutsTheFirstAndStartsOver();
    void quickTypingIsNeverSilentOrChoppy();

private:
    // Plays the cues with the given pause between them, waits for the last to end and gives what
    // was heard from the first call on.
    std::vector<HeardCue> play(const std::vector<Verdict> &verdicts, std::chrono::milliseconds gap,
                               std::vector<std::int16_t> &recording);

    std::unique_ptr<PulseServer> m_server;
    std::unique_ptr<MonitorRecorder> m_recorder;
    std::unique_ptr<SoundCues> m_cues;
};

void TestSoundCuesPulse::initTestCase()
{
    m_server = std::make_unique<PulseServer>();
    QVERIFY2(m_server->start(), "the PulseAudio daemon did not start");
    m_server->useInThisProcess();
    m_recorder = std::make_unique<MonitorRecorder>(*m_server);
    QVERIFY2(m_recorder->start(), "parec recorded nothing");
    m_cues = std::make_unique<SoundCues>();
    QTRY_VERIFY_WITH_TIMEOUT(m_cues->isOutputOpen(), 10000);
    QVERIFY2(warmUp(*m_cues, *m_recorder, 10s, Verdict::Wrong), "no cue was ever heard");
    std::this_thread::sleep_for(1200ms); // let the warm-up cue end
}

void TestSoundCuesPulse::cleanupTestCase()
{
    m_cues.reset();
    m_recorder.reset();
    m_server.reset();
}

std::vector<HeardCue> TestSoundCuesPulse::play(const std::vector<Verdict> &verdicts,
                                               std::chrono::milliseconds gap,
                                               std::vector<std::int16_t> &recording)
{
    const std::size_t from = m_recorder->sampleCount();
    for (std::size_t i = 0; i < verdicts.size(); ++i) {
        if (i > 0)
            std::this_thread::sleep_for(gap);
        m_cues->playCue(verdicts[i]);
    }
    const std::size_t longest =
        std::max(playedCue(Verdict::Correct).size(), playedCue(Verdict::Wrong).size());
    // Enough for the last cue to end, with some silence after it.
    m_recorder->waitForSamples(m_recorder->sampleCount() + longest + 44100 / 2, 5s);
    recording = m_recorder->samples();
    return heardCues(recording, from);
}

void TestSoundCuesPulse::playsTheWholeCue_data()
{
    QTest::addColumn<Verdict>("verdict");
    QTest::newRow("correct") << Verdict::Correct;
    QTest::newRow("wrong") << Verdict::Wrong;
}

void TestSoundCuesPulse::playsTheWholeCue()
{
    QFETCH(Verdict, verdict);
    const std::vector<std::int16_t> &cue = playedCue(verdict);
    const auto called = MonitorRecorder::Clock::now();
    std::vector<std::int16_t> recording;
    const auto heard = play({verdict}, 0ms, recording);

    QCOMPARE(heard.size(), 1u);
    QVERIFY(heard[0].verdict == verdict);
    QVERIFY2(heard[0].start + 441 >= m_recorder->indexAt(called), "heard before it was asked for");
    QCOMPARE(matchingLength(recording, heard[0].start, cue), cue.size());
    const std::size_t end = heard[0].start + cue.size();
    QCOMPARE(longestSilence(recording, end, end + 4410), 4410u); // and nothing loops
}

void TestSoundCuesPulse::secondCueCutsTheFirstAndStartsOver_data()
{
    QTest::addColumn<Verdict>("first");
    QTest::addColumn<Verdict>("second");
    QTest::newRow("correct, correct") << Verdict::Correct << Verdict::Correct;
    QTest::newRow("wrong, wrong") << Verdict::Wrong << Verdict::Wrong;
    QTest::newRow("correct, then wrong") << Verdict::Correct << Verdict::Wrong;
    QTest::newRow("wrong, then correct") << Verdict::Wrong << Verdict::Correct;
}

void TestSoundCuesPulse::secondCueCutsTheFirstAndStartsOver()
{
    QFETCH(Verdict, first);
    QFETCH(Verdict, second);
    std::vector<std::int16_t> recording;
    const auto heard = play({first, second}, 100ms, recording);

    QCOMPARE(heard.size(), 2u);
    QVERIFY(heard[0].verdict == first);
    QVERIFY(heard[1].verdict == second);
    const std::size_t firstPlayed = heard[1].start - heard[0].start;
    qInfo("the first cue played %.1f ms before the second cut in", firstPlayed * 1000.0 / 44100);
    // Cut off exactly where the second begins, with no gap and no overlap.
    QVERIFY(firstPlayed < playedCue(first).size());
    QCOMPARE(matchingLength(recording, heard[0].start, playedCue(first)), firstPlayed);
    QCOMPARE(matchingLength(recording, heard[1].start, playedCue(second)),
             playedCue(second).size());
}

void TestSoundCuesPulse::quickTypingIsNeverSilentOrChoppy()
{
    std::vector<Verdict> verdicts;
    for (int i = 0; i < 300; ++i)
        verdicts.push_back(i % 3 == 2 ? Verdict::Wrong : Verdict::Correct);
    std::vector<std::int16_t> recording;
    const auto heard = play(verdicts, 50ms, recording);

    // Every cue was heard, in order: none silent, none lost.
    QCOMPARE(heard.size(), verdicts.size());
    for (std::size_t i = 0; i < heard.size(); ++i)
        QVERIFY2(heard[i].verdict == verdicts[i], qPrintable(QString("cue %1").arg(i)));
    // Each played without a break until the next cut in, and the last to its end.
    std::size_t shortest = SIZE_MAX, longest = 0;
    for (std::size_t i = 0; i + 1 < heard.size(); ++i) {
        const std::size_t played = heard[i + 1].start - heard[i].start;
        shortest = std::min(shortest, played);
        longest = std::max(longest, played);
        QCOMPARE(matchingLength(recording, heard[i].start, playedCue(heard[i].verdict)), played);
    }
    qInfo("cues played %.1f to %.1f ms before the next cut in", shortest * 1000.0 / 44100,
          longest * 1000.0 / 44100);
    const Verdict last = heard.back().verdict;
    QCOMPARE(matchingLength(recording, heard.back().start, playedCue(last)),
             playedCue(last).size());
}

QTEST_GUILESS_MAIN(TestSoundCuesPulse)
#include "tst_sound_cues_pulse.moc"
