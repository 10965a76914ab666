#include "twips.h"

#include <QtTest>

class TestTwips : public QObject
{
    Q_OBJECT

private slots:
    void convertsAtTheGivenDpi_data();
    void convertsAtTheGivenDpi();
};

void TestTwips::convertsAtTheGivenDpi_data()
{
    QTest::addColumn<int>("twips");
    QTest::addColumn<double>("dotsPerInch");
    QTest::addColumn<int>("pixels");

    QTest::newRow("zero") << 0 << 96.0 << 0;
    QTest::newRow("one pixel at 96 DPI") << 15 << 96.0 << 1;
    QTest::newRow("client width at 96 DPI") << 7095 << 96.0 << 473;
    QTest::newRow("client height at 96 DPI") << 5295 << 96.0 << 353;
    QTest::newRow("one inch at 96 DPI") << 1440 << 96.0 << 96;
    QTest::newRow("one inch at 120 DPI") << 1440 << 120.0 << 120;
    QTest::newRow("client width at 144 DPI, an exact half rounds up") << 7095 << 144.0 << 710;
    QTest::newRow("three quarters of a pixel round up") << 1425 << 120.0 << 119;
    QTest::newRow("a third of a pixel rounds down") << 5 << 96.0 << 0;
}

void TestTwips::convertsAtTheGivenDpi()
{
    QFETCH(int, twips);
    QFETCH(double, dotsPerInch);
    QFETCH(int, pixels);
    QCOMPARE(twipsToPixels(twips, dotsPerInch), pixels);
}

QTEST_APPLESS_MAIN(TestTwips)
#include "tst_twips.moc"
