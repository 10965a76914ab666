// A long run through the real window: a million key releases and more ticks than the drill
// counts, checking the counts, the texts and the resident memory along the way.
#include "form1.h"

#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

#include <fstream>
#include <memory>
#include <string>

namespace {

// Under AddressSanitizer every allocation is checked and freed memory is held back in a
// quarantine, so the run is shorter and its resident size says nothing about the program's.
#if defined(__SANITIZE_ADDRESS__)
constexpr long long defaultReleases = 100'000;
constexpr bool residentSizeMeaningful = false;
#else
constexpr long long defaultReleases = 1'000'000;
constexpr bool residentSizeMeaningful = true;
#endif

long long releasesToSend()
{
    const QByteArray fromEnvironment = qgetenv("TYPING_DRILL_SOAK_RELEASES");
    return fromEnvironment.isEmpty() ? defaultReleases : fromEnvironment.toLongLong();
}

long residentKilobytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmRSS:"))
            return std::stol(line.substr(6));
    }
    return 0;
}

} // namespace

class TestSoak : public QObject
{
    Q_OBJECT

private slots:
    void answerBoxKeepsNoHistory();
    void millionReleasesPastTheTickLimit();

private:
    QString text(const char *name) const { return m_form->findChild<QLabel *>(name)->text(); }
    void checkTexts(long long total, long long correct, long long wrong);

    std::unique_ptr<Form1> m_form;
};

void TestSoak::checkTexts(long long total, long long correct, long long wrong)
{
    static const QRegularExpression letter("^[A-Z]$");
    // "##.##": no lone leading zero, no trailing fraction zeros, "0" for zero.
    static const QRegularExpression number(R"(^(0|[1-9]\d*(\.\d?[1-9])?|\.\d?[1-9])$)");
    QVERIFY2(letter.match(text("zimu")).hasMatch(), qPrintable(text("zimu")));
    QCOMPARE(text("zongshu2"), QString::number(total));
    QCOMPARE(text("zhengque2"), QString::number(correct));
    QCOMPARE(text("cuowu2"), QString::number(wrong));
    const QString speed = text("sudu2");
    QVERIFY2(speed.endsWith(QStringLiteral(" 字/分")) && number.match(speed.chopped(4)).hasMatch(),
             qPrintable(speed));
    const QString accuracy = text("zhengquelv");
    QVERIFY2(accuracy.endsWith('%') && number.match(accuracy.chopped(1)).hasMatch(),
             qPrintable(accuracy));
    QVERIFY2(qAbs(accuracy.chopped(1).toDouble() - 100.0 * double(correct) / double(total))
                 <= 0.005 + 1e-9,
             qPrintable(accuracy));
}

void TestSoak::answerBoxKeepsNoHistory()
{
    // A line edit keeps every edit for its undo: typed and cleared a million times, the box
    // would hold a million edits. Each key's answer is gone once judged, and so is its history.
    m_form = std::make_unique<Form1>([](Verdict) {});
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    auto *answer = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    QVERIFY(answer && answer->objectName() == "Text1");
    for (const Qt::Key key : {Qt::Key_A, Qt::Key_B, Qt::Key_C}) {
        QTest::keyClick(answer, key);
        QVERIFY(answer->text().isEmpty());
        QVERIFY(!answer->isUndoAvailable());
    }
    QTest::keyPress(answer, Qt::Key_D);
    QTest::keyClick(answer, Qt::Key_Return); // restarts while a letter is in the box
    QVERIFY(answer->text().isEmpty());
    QVERIFY(!answer->isUndoAvailable());
}

void TestSoak::millionReleasesPastTheTickLimit()
{
    const long long releases = releasesToSend();
    QVERIFY(releases > 1000);
    long long heardCorrect = 0;
    long long heardWrong = 0;
    m_form = std::make_unique<Form1>(
        [&](Verdict verdict) { ++(verdict == Verdict::Correct ? heardCorrect : heardWrong); });
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    QWidget *answer = QApplication::focusWidget();
    QVERIFY(answer && answer->objectName() == "Text1");
    auto *timer = m_form->findChild<QTimer *>("Timer1");
    QVERIFY(timer);

    // Ticks go in through the timer's own event, spread so that the drill reaches its limit a
    // little before the last releases.
    const long long ticks = TypingDrill::maxTicks + 1000;
    long long ticksSent = 0;
    long long correct = 0;
    long long wrong = 0;
    long residentAtFifth = 0;
    for (long long i = 0; i < releases; ++i) {
        while (ticksSent < (i + 1) * ticks / (releases - releases / 50) && ticksSent < ticks) {
            QTimerEvent tickEvent(timer->timerId());
            QCoreApplication::sendEvent(timer, &tickEvent);
            ++ticksSent;
        }
        const int target = text("zimu").at(0).unicode() - 'A';
        // Two of three keys right; the wrong ones cycle through the other letters.
        const bool right = i % 3 != 0;
        const int letter = right ? target : (target + 1 + int(i % 25)) % 26;
        const auto key = static_cast<Qt::Key>(Qt::Key_A + letter);
        // Straight to the focused answer box: through the QWindow every key would also wait for
        // a repaint, and a million repaints would take most of an hour.
        QTest::keyPress(answer, key);
        QTest::keyRelease(answer, key);
        ++(right ? correct : wrong);
        if (i % 4099 == 0) {
            checkTexts(i + 1, correct, wrong);
            QCOMPARE(QApplication::focusWidget(), answer);
            if (QTest::currentTestFailed())
                return;
            QCoreApplication::processEvents(); // lets the window repaint now and then
        }
        if (i == releases / 5)
            residentAtFifth = residentKilobytes();
    }
    QCoreApplication::processEvents();

    QCOMPARE(ticksSent, ticks);
    checkTexts(releases, correct, wrong);
    QCOMPARE(heardCorrect, correct);
    QCOMPARE(heardWrong, wrong);
    // At the limit the speed is the keys over 32767 ticks of 100 ms.
    const double speed = text("sudu2").chopped(4).toDouble();
    const double expected = double(releases) * 600 / TypingDrill::maxTicks;
    QVERIFY2(qAbs(speed - expected) <= 0.005 + 1e-9,
             qPrintable(QString("%1 for %2").arg(text("sudu2")).arg(expected)));

    const long residentAtEnd = residentKilobytes();
    qInfo("resident size: %ld kB after a fifth of the releases, %ld kB at the end", residentAtFifth,
          residentAtEnd);
    if (residentSizeMeaningful) {
        // Nothing the window keeps grows with the keys: a kilobyte per thousand releases would
        // already show here.
        QVERIFY2(residentAtEnd - residentAtFifth < 512,
                 qPrintable(QString("grew by %1 kB").arg(residentAtEnd - residentAtFifth)));
    }
}

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
