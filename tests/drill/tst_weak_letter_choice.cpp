#include "weak_letter_choice.h"

#include <QtTest>

#include <array>
#include <string>
#include <vector>

namespace {

constexpr double uniformShare = 1.0 / 26;

int indexOf(char letter)
{
    return letter - 'A';
}

// A learner's history: keysPerLetter rounds of A to Z, every key right in 600 ms, except the
// weak letter's: misses of them answered with answeredWith, spread evenly over its keys or
// as its first keys, each taken in weakMs.
struct HandBuilt
{
    int keysPerLetter = 25;
    char weak = 'Q';
    int misses = 0;
    bool missesFirst = false;
    char answeredWith = 'O';
    std::int64_t weakMs = 600;

    std::vector<PastKey> keys() const
    {
        std::vector<PastKey> history;
        for (int round = 0; round < keysPerLetter; ++round) {
            for (char letter = 'A'; letter <= 'Z'; ++letter) {
                if (letter != weak) {
                    history.push_back({letter, letter, true, 600});
                    continue;
                }
                const bool miss = missesFirst
                    ? round < misses
                    : (round + 1) * misses / keysPerLetter > round * misses / keysPerLetter;
                history.push_back({letter, miss ? answeredWith : letter, !miss, weakMs});
            }
        }
        return history;
    }
};

// How often each letter is drawn in draws letters, each following the one before, and how often
// a letter follows itself.
std::array<int, 26> countDraws(WeakLetterChoice &choice, int draws, int &repeats)
{
    std::array<int, 26> counts {};
    char previous = 'A';
    for (int i = 0; i < draws; ++i) {
        const char letter = choice.next(previous);
        if (letter == previous)
            ++repeats;
        ++counts[static_cast<std::size_t>(indexOf(letter))];
        previous = letter;
    }
    return counts;
}

// Q always missed, answered with O, and five times as slow as the other letters.
HandBuilt extremeHistory()
{
    return {25, 'Q', 25, false, 'O', 3000};
}

} // namespace

class TestWeakLetterChoice : public QObject
{
    Q_OBJECT

private slots:
    void noHistoryDrawsUniformly();
    void weakLettersComeUpMore_data();
    void weakLettersComeUpMore();
    void everyLetterComesNoneRepeatsMore();
    void currentRunCounts();
    void drillAsksTheChoiceAfterEachKey();
};

void TestWeakLetterChoice::noHistoryDrawsUniformly()
{
    const WeakLetterChoice choice({}, 1);
    for (char previous : std::string("AQZ")) {
        for (double share : choice.shares(previous))
            QCOMPARE(share, uniformShare);
    }
}

void TestWeakLetterChoice::weakLettersComeUpMore_data()
{
    QTest::addColumn<int>("keysPerLetter");
    QTest::addColumn<int>("misses");
    QTest::addColumn<bool>("missesFirst");
    QTest::addColumn<int>("weakMs");
    QTest::addColumn<char>("previous");
    QTest::addColumn<char>("letter");
    QTest::addColumn<double>("minRatio");
    QTest::addColumn<double>("maxRatio");

    // The ratio is the letter's share of the next draw to that of B, a letter never missed.
    QTest::newRow("wrong 13 of 25") << 25 << 13 << false << 600 << 'A' << 'Q' << 3.0 << 100.0;
    QTest::newRow("wrong 11 of 20") << 20 << 11 << false << 600 << 'A' << 'Q' << 3.0 << 100.0;
    QTest::newRow("wrong 60 of 100") << 100 << 60 << false << 600 << 'A' << 'Q' << 3.0 << 100.0;
    QTest::newRow("the oldest 13 of 25 wrong")
        << 25 << 13 << true << 600 << 'A' << 'Q' << 3.0 << 100.0;
    QTest::newRow("never missed, twice as slow")
        << 25 << 0 << false << 1200 << 'A' << 'Q' << 3.0 << 100.0;
    QTest::newRow("answered instead, after its letter")
        << 25 << 13 << false << 600 << 'Q' << 'O' << 3.0 << 100.0;
    QTest::newRow("answered instead, after another letter")
        << 25 << 13 << false << 600 << 'A' << 'O' << 0.99 << 1.01;
    // Recent keys count more; a single slip, however recent, is no weak letter.
    QTest::newRow("one miss in 25, the last")
        << 25 << 1 << false << 600 << 'A' << 'Q' << 1.5 << 3.0;
    QTest::newRow("one miss in 25, the first")
        << 25 << 1 << true << 600 << 'A' << 'Q' << 1.0 << 1.3;
}

void TestWeakLetterChoice::weakLettersComeUpMore()
{
    QFETCH(int, keysPerLetter);
    QFETCH(int, misses);
    QFETCH(bool, missesFirst);
    QFETCH(int, weakMs);
    QFETCH(char, previous);
    QFETCH(char, letter);
    QFETCH(double, minRatio);
    QFETCH(double, maxRatio);

    const HandBuilt history {keysPerLetter, 'Q', misses, missesFirst, 'O', weakMs};
    const WeakLetterChoice choice(history.keys(), 1);
    const auto shares = choice.shares(previous);
    const double ratio = shares[indexOf(letter)] / shares[indexOf('B')];
    QVERIFY2(ratio >= minRatio && ratio <= maxRatio, qPrintable(QString::number(ratio)));
}

void TestWeakLetterChoice::everyLetterComesNoneRepeatsMore()
{
    WeakLetterChoice choice(extremeHistory().keys(), 3);
    for (char previous = 'A'; previous <= 'Z'; ++previous)
        QVERIFY(choice.shares(previous)[indexOf(previous)] <= uniformShare + 1e-12);

    constexpr int rounds = 2000;
    int repeats = 0;
    const auto counts = countDraws(choice, 26 * rounds, repeats);
    for (std::size_t i = 0; i < counts.size(); ++i) {
        // The floor keeps even the best letters at a third of their uniform share or more.
        QVERIFY2(counts[i] > rounds / 3,
                 qPrintable(QStringLiteral("%1: %2").arg(QChar('A' + int(i))).arg(counts[i])));
    }
    QVERIFY(counts[indexOf('Q')] > 3 * rounds);
    QVERIFY2(repeats <= rounds + 5 * std::sqrt(double(rounds)),
             qPrintable(QString::number(repeats)));
}

void TestWeakLetterChoice::currentRunCounts()
{
    // A learner with a clean history misses K in this run: K comes up more within the run.
    WeakLetterChoice choice(HandBuilt {20, 'Q', 0, false, 'O', 600}.keys(), 11);
    QCOMPARE(choice.shares('A')[indexOf('K')], choice.shares('A')[indexOf('B')]);
    TypingDrill drill;
    drill.setLetterChoice(&choice);
    drill.reset();
    std::array<int, 26> shown {};
    constexpr int keys = 26 * 100;
    for (int i = 0; i < keys; ++i) {
        const char letter = drill.zimuText().front();
        if (i >= keys / 2)
            ++shown[static_cast<std::size_t>(indexOf(letter))];
        drill.keyReleased(letter == 'K' ? KeyCode('X') : KeyCode(letter), 600);
    }
    QVERIFY(choice.shares('A')[indexOf('K')] > 3 * choice.shares('A')[indexOf('B')]);
    QVERIFY2(shown[indexOf('K')] > 3 * keys / 2 / 26,
             qPrintable(QString::number(shown[indexOf('K')])));
}

void TestWeakLetterChoice::drillAsksTheChoiceAfterEachKey()
{
    // Records the calls and draws Z, Y, X, ...
    class Recording final : public LetterChoice
    {
    public:
        std::string calls;
        char letter = 'Z';
        void keyJudged(const PastKey &key) override
        {
            calls += QStringLiteral("judged %1 as %2 %3 in %4; ")
                         .arg(QChar(key.letter))
                         .arg(key.answered)
                         .arg(key.correct ? "right" : "wrong")
                         .arg(key.reactionMs)
                         .toStdString();
        }
        char next(char previous) override
        {
            calls += std::string("next after ") + previous + "; ";
            return letter--;
        }
    };
    Recording choice;
    TypingDrill drill;
    drill.setLetterChoice(&choice);
    drill.reset();
    QCOMPARE(drill.keyReleased('Z', 450), Verdict::Correct);
    QCOMPARE(drill.keyReleased('A'), Verdict::Wrong);
    QCOMPARE(choice.calls,
             std::string("next after A; judged Z as 90 right in 450; next after Z; "
                         "judged Y as 65 wrong in 0; next after Y; "));
    QCOMPARE(drill.zimuText(), std::string("X"));
    QCOMPARE(drill.zimuCode(), 88.0f);

    // Without a choice the fixed sequence goes on where it stood, untouched by the choice's draws.
    drill.setLetterChoice(nullptr);
    drill.reset();
    QCOMPARE(drill.zimuText(), std::string("S"));
    QCOMPARE(drill.zongshuN(), 0);
}

QTEST_APPLESS_MAIN(TestWeakLetterChoice)
#include "tst_weak_letter_choice.moc"
