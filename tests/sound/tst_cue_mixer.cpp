// The hand-over of cues to the audio thread: what each device buffer holds.
#include "cue_mixer.h"

#include <QtTest>

#include <memory>
#include <numeric>

namespace {

// A cue whose samples count up from a start value, so every sample tells where it came from.
std::vector<std::int16_t> rampFrom(std::int16_t first, std::size_t length)
{
    std::vector<std::int16_t> samples(length);
    std::iota(samples.begin(), samples.end(), first);
    return samples;
}

std::vector<std::int16_t> nextBuffer(CueMixer &mixer, std::size_t size = 4)
{
    std::vector<std::int16_t> buffer(size, -1);
    mixer.fill(buffer);
    return buffer;
}

using Samples = std::vector<std::int16_t>;

} // namespace

class TestCueMixer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void silentUntilACueStarts();
    void playsToTheEndOnceThenSilence();
    void aNewCueCutsInAtItsStart();
    void theSameCueAgainStartsOver();
    void forgottenRequestsAreNotPlayed();

private:
    std::unique_ptr<CueMixer> m_mixer;
};

void TestCueMixer::init()
{
    m_mixer = std::make_unique<CueMixer>();
    m_mixer->setCue(Verdict::Correct, rampFrom(100, 6));
    m_mixer->setCue(Verdict::Wrong, rampFrom(200, 10));
}

void TestCueMixer::silentUntilACueStarts()
{
    QCOMPARE(nextBuffer(*m_mixer), Samples({0, 0, 0, 0}));
    QCOMPARE(nextBuffer(*m_mixer), Samples({0, 0, 0, 0}));
}

void TestCueMixer::playsToTheEndOnceThenSilence()
{
    m_mixer->start(Verdict::Correct);
    QCOMPARE(nextBuffer(*m_mixer), Samples({100, 101, 102, 103}));
    QCOMPARE(nextBuffer(*m_mixer), Samples({104, 105, 0, 0}));
    QCOMPARE(nextBuffer(*m_mixer), Samples({0, 0, 0, 0}));
}

void TestCueMixer::aNewCueCutsInAtItsStart()
{
    m_mixer->start(Verdict::Wrong);
    QCOMPARE(nextBuffer(*m_mixer, 3), Samples({200, 201, 202}));
    m_mixer->start(Verdict::Correct);
    QCOMPARE(nextBuffer(*m_mixer, 3), Samples({100, 101, 102}));
    m_mixer->start(Verdict::Wrong);
    QCOMPARE(nextBuffer(*m_mixer, 12),
             Samples({200, 201, 202, 203, 204, 205, 206, 207, 208, 209, 0, 0}));
}

void TestCueMixer::theSameCueAgainStartsOver()
{
    m_mixer->start(Verdict::Correct);
    QCOMPARE(nextBuffer(*m_mixer, 3), Samples({100, 101, 102}));
    m_mixer->start(Verdict::Correct);
    QCOMPARE(nextBuffer(*m_mixer, 3), Samples({100, 101, 102}));
    // Two starts between buffers: the later one wins, from its beginning.
    m_mixer->start(Verdict::Wrong);
    m_mixer->start(Verdict::Correct);
    QCOMPARE(nextBuffer(*m_mixer, 3), Samples({100, 101, 102}));
}

void TestCueMixer::forgottenRequestsAreNotPlayed()
{
    m_mixer->start(Verdict::Correct);
    QCOMPARE(nextBuffer(*m_mixer, 2), Samples({100, 101}));
    m_mixer->start(Verdict::Wrong);
    m_mixer->forgetRequests();
    QCOMPARE(nextBuffer(*m_mixer), Samples({0, 0, 0, 0}));
    m_mixer->start(Verdict::Wrong);
    QCOMPARE(nextBuffer(*m_mixer), Samples({200, 201, 202, 203}));
}

QTEST_GUILESS_MAIN(TestCueMixer)
#include "tst_cue_mixer.moc"
