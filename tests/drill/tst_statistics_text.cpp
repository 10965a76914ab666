#include "format_pattern.h"
#include "statistics_text.h"
#include "typing_drill.h"

#include <QtTest>

namespace {

// A drill with the given counts and ticks, reached through its public operations only.
TypingDrill drillWith(int total, int correct, int ticks)
{
    TypingDrill drill;
    drill.reset();
    for (int i = 0; i < ticks; ++i)
        drill.tick();
    for (int i = 0; i < total; ++i)
        drill.keyReleased(i < correct ? static_cast<KeyCode>(drill.zimuCode()) : 0);
    return drill;
}

} // namespace

class TestStatisticsText : public QObject
{
    Q_OBJECT

private slots:
    void afterReset();
    void afterKeys_data();
    void afterKeys();
    void firstKeyBeforeAnyTick();
    void formatPattern_data();
    void formatPattern();
};

void TestStatisticsText::afterReset()
{
    TypingDrill drill = drillWith(7, 3, 40);
    drill.reset();
    const StatisticsText texts = resetTexts(drill);
    QCOMPARE(texts.letter, drill.zimuText());
    QCOMPARE(texts.total, "0");
    QCOMPARE(texts.correct, "0");
    QCOMPARE(texts.wrong, "0");
    QCOMPARE(texts.speed, "0 字/分");
    QCOMPARE(texts.accuracy, "0 %");
}

void TestStatisticsText::afterKeys_data()
{
    QTest::addColumn<int>("total");
    QTest::addColumn<int>("correct");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QString>("speed");
    QTest::addColumn<QString>("accuracy");

    QTest::newRow("3 keys in 47 ticks") << 3 << 2 << 47 << "38.3 字/分"
                                        << "66.67%";
    QTest::newRow("7 keys in 500 ticks") << 7 << 7 << 500 << "8.4 字/分"
                                         << "100%";
    QTest::newRow("1 key in 900 ticks") << 1 << 0 << 900 << ".67 字/分"
                                        << "0%";
    QTest::newRow("3 keys, 1 correct") << 3 << 1 << 6 << "300 字/分"
                                       << "33.33%";
    QTest::newRow("11 keys, 9 correct") << 11 << 9 << 11 << "600 字/分"
                                        << "81.82%";
    QTest::newRow("first key at tick 5, right") << 1 << 1 << 5 << "120 字/分"
                                                << "100%";
    QTest::newRow("first key at tick 5, wrong") << 1 << 0 << 5 << "120 字/分"
                                                << "0%";
    QTest::newRow("past 32767 keys, 4+ speed digits") << 40000 << 1 << 3 << "8000000 字/分"
                                                      << "0%";
}

void TestStatisticsText::afterKeys()
{
    QFETCH(int, total);
    QFETCH(int, correct);
    QFETCH(int, ticks);
    QFETCH(QString, speed);
    QFETCH(QString, accuracy);

    const TypingDrill drill = drillWith(total, correct, ticks);
    const StatisticsText texts = keyTexts(drill);
    QCOMPARE(texts.letter, drill.zimuText());
    QCOMPARE(texts.total, std::to_string(total));
    QCOMPARE(texts.correct, std::to_string(correct));
    QCOMPARE(texts.wrong, std::to_string(total - correct));
    QCOMPARE(QString::fromStdString(texts.speed), speed);
    QCOMPARE(QString::fromStdString(texts.accuracy), accuracy);
}

void TestStatisticsText::firstKeyBeforeAnyTick()
{
    // Within the first 100 ms no tick has passed: the time counts as one tick, not a division by 0.
    const StatisticsText texts = keyTexts(drillWith(1, 1, 0));
    QCOMPARE(texts.speed, "600 字/分");
    QCOMPARE(texts.accuracy, "100%");
}

void TestStatisticsText::formatPattern_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("text");

    QTest::newRow("two decimals") << 38.297 << "##.##"
                                  << "38.3";
    QTest::newRow("one decimal") << 8.4 << "##.##"
                                 << "8.4";
    QTest::newRow("below one drops the zero") << 0.6666 << "##.##"
                                              << ".67";
    QTest::newRow("percent") << 2.0 / 3 << "##.##%"
                             << "66.67%";
    QTest::newRow("percent rounds down") << 1.0 / 3 << "##.##%"
                                         << "33.33%";
    QTest::newRow("percent rounds up") << 9.0 / 11 << "##.##%"
                                       << "81.82%";
    QTest::newRow("whole number drops the point") << 45.0 << "##.##"
                                                  << "45";
    QTest::newRow("whole percent drops the point") << 1.0 << "##.##%"
                                                   << "100%";
    QTest::newRow("zero") << 0.0 << "##.##"
                          << "0";
    QTest::newRow("zero percent") << 0.0 << "##.##%"
                                  << "0%";
    QTest::newRow("rounds to zero") << 0.004 << "##.##"
                                    << "0";
    QTest::newRow("rounds up to a whole") << 99.996 << "##.##"
                                          << "100";
    QTest::newRow("carry through every digit") << 999.999 << "##.##"
                                               << "1000";
    QTest::newRow("exact half rounds away from zero") << 0.125 << "##.##"
                                                      << ".13";
    QTest::newRow("exact half, even neighbour") << 2.375 << "##.##"
                                                << "2.38";
    QTest::newRow("exact half percent") << 0.00125 << "##.##%"
                                        << ".13%";
    QTest::newRow("just below a half rounds down") << 1.005 << "##.##"
                                                   << "1"; // 1.00499999...
    QTest::newRow("negative half") << -0.125 << "##.##"
                                   << "-.13";
    QTest::newRow("tiny negative is zero") << -0.001 << "##.##"
                                           << "0";
    QTest::newRow("many integer digits") << 123456789.125 << "##.##"
                                         << "123456789.13";
    QTest::newRow("huge value keeps its digits") << 1e20 << "##.##"
                                                 << "100000000000000000000";
    QTest::newRow("smallest subnormal") << 4.9e-324 << "##.##"
                                        << "0";
    QTest::newRow("not a number") << std::nan("") << "##.##"
                                  << "0";
    QTest::newRow("infinity percent") << HUGE_VAL << "##.##%"
                                      << "0%";
}

void TestStatisticsText::formatPattern()
{
    QFETCH(double, value);
    QFETCH(QString, pattern);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(::formatPattern(value, pattern.toStdString())), text);
}

QTEST_APPLESS_MAIN(TestStatisticsText)
#include "tst_statistics_text.moc"
