#include "typing_drill.h"

#include <QtTest>

#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(Verdict)

namespace {

// Draws until the target is the wanted letter; the fixed generator reaches every letter quickly.
void drawUntil(TypingDrill &drill, char letter)
{
    for (int i = 0; i < 10000 && drill.zimuText() != std::string(1, letter); ++i)
        drill.drawLetter();
    QCOMPARE(drill.zimuText(), std::string(1, letter));
}

std::string lettersOf(TypingDrill &drill, int count)
{
    std::string letters;
    for (int i = 0; i < count; ++i) {
        letters += drill.zimuText();
        drill.keyReleased(0);
    }
    return letters;
}

} // namespace

class TestTypingDrill : public QObject
{
    Q_OBJECT

private slots:
    void resetClearsEverything();
    void judgesByKeyCode_data();
    void judgesByKeyCode();
    void countsEveryRelease();
    void countsGoPast16Bits();
    void drawsAfterEveryRelease();
    void largestDrawIsStillZ();
    void drawsAreUniformOverAllLetters();
    void sequenceIsFixedAcrossStartsAndResets();
    void ticksCountAndSaturate();
};

void TestTypingDrill::resetClearsEverything()
{
    TypingDrill drill;
    drill.reset();
    for (int i = 0; i < 5; ++i) {
        drill.keyReleased(static_cast<KeyCode>(drill.zimuCode()));
        drill.keyReleased(16);
        drill.tick();
    }
    drill.reset();
    QCOMPARE(drill.zongshuN(), 0);
    QCOMPARE(drill.zhengqueN(), 0);
    QCOMPARE(drill.cuowuN(), 0);
    QCOMPARE(drill.tickN(), 0);
    QCOMPARE(drill.zimuText().size(), 1u);
    QVERIFY(drill.zimuText()[0] >= 'A' && drill.zimuText()[0] <= 'Z');
    QCOMPARE(drill.zimuCode(), static_cast<float>(drill.zimuText()[0]));
}

void TestTypingDrill::judgesByKeyCode_data()
{
    QTest::addColumn<char>("target");
    QTest::addColumn<int>("keyCode");
    QTest::addColumn<Verdict>("verdict");

    // Shift and Caps Lock do not change a letter key's code, so one row covers both cases.
    QTest::newRow("H on H") << 'H' << 72 << Verdict::Correct;
    QTest::newRow("J on H") << 'H' << 74 << Verdict::Wrong;
    QTest::newRow("Shift on H") << 'H' << 16 << Verdict::Wrong;
    QTest::newRow("Ctrl on H") << 'H' << 17 << Verdict::Wrong;
    QTest::newRow("Z on Z") << 'Z' << 90 << Verdict::Correct;
    QTest::newRow("A on Z") << 'Z' << 65 << Verdict::Wrong;
    QTest::newRow("A on A") << 'A' << 65 << Verdict::Correct;
    QTest::newRow("digit 1 on A") << 'A' << 49 << Verdict::Wrong;
    QTest::newRow("Space on A") << 'A' << 32 << Verdict::Wrong;
    QTest::newRow("no code on A") << 'A' << 0 << Verdict::Wrong;
    QTest::newRow("lower-case character code on a") << 'A' << 97 << Verdict::Wrong;
    QTest::newRow("negative code on Z") << 'Z' << -1 << Verdict::Wrong;
    QTest::newRow("largest code on Z") << 'Z' << 32767 << Verdict::Wrong;
}

void TestTypingDrill::judgesByKeyCode()
{
    QFETCH(char, target);
    QFETCH(int, keyCode);
    QFETCH(Verdict, verdict);

    TypingDrill drill;
    drill.reset();
    drawUntil(drill, target);
    QCOMPARE(drill.keyReleased(static_cast<KeyCode>(keyCode)), verdict);
    QCOMPARE(drill.zongshuN(), 1);
    QCOMPARE(drill.zhengqueN(), verdict == Verdict::Correct ? 1 : 0);
    QCOMPARE(drill.cuowuN(), verdict == Verdict::Wrong ? 1 : 0);
}

void TestTypingDrill::countsEveryRelease()
{
    TypingDrill drill;
    drill.reset();
    drill.keyReleased(16);
    drill.keyReleased(static_cast<KeyCode>(drill.zimuCode()));
    drill.keyReleased(0);
    QCOMPARE(drill.zongshuN(), 3);
    QCOMPARE(drill.zhengqueN(), 1);
    QCOMPARE(drill.cuowuN(), 2);

    for (KeyCode code = -300; code < 300; ++code) {
        drill.keyReleased(code);
        QCOMPARE(drill.zongshuN(), drill.zhengqueN() + drill.cuowuN());
    }
    QCOMPARE(drill.zongshuN(), 603);
}

void TestTypingDrill::countsGoPast16Bits()
{
    TypingDrill drill;
    drill.reset();
    for (int i = 0; i < 70000; ++i) {
        if (i % 2)
            drill.keyReleased(static_cast<KeyCode>(drill.zimuCode()));
        else
            drill.keyReleased(8);
    }
    QCOMPARE(drill.zongshuN(), 70000);
    QCOMPARE(drill.zhengqueN(), 35000);
    QCOMPARE(drill.cuowuN(), 35000);
}

void TestTypingDrill::drawsAfterEveryRelease()
{
    // Two drills fed the same releases stay in step: each release, right or wrong, takes exactly
    // one draw, so a drill that also draws by hand once per release matches a fresh sequence.
    TypingDrill judged;
    TypingDrill drawn;
    judged.reset();
    drawn.reset();
    for (int i = 0; i < 50; ++i) {
        judged.keyReleased(i % 3 ? 0 : static_cast<KeyCode>(judged.zimuCode()));
        drawn.drawLetter();
        QCOMPARE(judged.zimuText(), drawn.zimuText());
    }
}

void TestTypingDrill::largestDrawIsStillZ()
{
    const float largest = std::nextafter(1.0f, 0.0f);
    QCOMPARE(largest, float(PseudoRandom::modulus - 1) / float(PseudoRandom::modulus));
    QCOMPARE(letterCodeFor(largest), 90.0f);
    QCOMPARE(letterCodeFor(0.0f), 65.0f);
    QCOMPARE(letterCodeFor(1.0f / 26.0f), 66.0f);
    // The same sum in single precision would reach 91: the reason the floor is taken in double.
    QCOMPARE(std::floor(largest * 26.0f + 65.0f), 91.0f);
}

void TestTypingDrill::drawsAreUniformOverAllLetters()
{
    TypingDrill drill;
    drill.reset();
    constexpr int draws = 26 * 4000;
    int counts[26] = {};
    for (int i = 0; i < draws; ++i) {
        drill.drawLetter();
        const int code = static_cast<int>(drill.zimuCode());
        QVERIFY2(code >= 65 && code <= 90, qPrintable(QString::number(code)));
        ++counts[code - 65];
    }
    for (int count : counts)
        QVERIFY2(std::abs(count - draws / 26) < draws / 26 / 10,
                 qPrintable(QString::number(count)));
}

void TestTypingDrill::sequenceIsFixedAcrossStartsAndResets()
{
    TypingDrill first;
    first.reset();
    TypingDrill second;
    second.reset();
    // The generator starts from the same state in every drill: these are a fresh drill's letters.
    QCOMPARE(lettersOf(first, 10), std::string("SNPHHUATVS"));
    QCOMPARE(lettersOf(second, 10), std::string("SNPHHUATVS"));

    // A reset continues the sequence where it stood instead of starting it again.
    TypingDrill continued;
    continued.reset();
    const std::string whole = lettersOf(continued, 20);
    TypingDrill restarted;
    restarted.reset();
    std::string pieces = lettersOf(restarted, 6);
    restarted.reset(); // draws once itself
    pieces += lettersOf(restarted, 13);
    QCOMPARE(pieces.substr(0, 6), whole.substr(0, 6));
    QCOMPARE(pieces.substr(6), whole.substr(7));
}

void TestTypingDrill::ticksCountAndSaturate()
{
    TypingDrill drill;
    drill.reset();
    for (int i = 0; i < 10; ++i)
        drill.tick();
    QCOMPARE(drill.tickN(), 10);
    drill.keyReleased(0);
    drill.reset();
    QCOMPARE(drill.tickN(), 0);
    QCOMPARE(drill.zongshuN(), 0);

    for (int i = 0; i < TypingDrill::maxTicks + 1000; ++i)
        drill.tick();
    QCOMPARE(drill.tickN(), TypingDrill::maxTicks);
    drill.tick();
    QCOMPARE(drill.tickN(), 32767);
}

QTEST_APPLESS_MAIN(TestTypingDrill)
#include "tst_typing_drill.moc"
