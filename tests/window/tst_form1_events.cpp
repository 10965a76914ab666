#include "form1.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <vector>

Q_DECLARE_METATYPE(Verdict)

class TestForm1Events : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void startsWithResetStatistics();
    void judgesCorrectAndWrongKeys();
    void shiftAloneIsWrong();
    void heldKeyIsJudgedOnceAtItsRelease();
    void answerBoxHoldsOneCharacter();
    void menuKeyIsJudgedWithoutMenu();
    void enterRestartsWithoutJudgingItsRelease_data();
    void enterRestartsWithoutJudgingItsRelease();
    void mouseRestartReturnsTheFocus();
    void tabTakesTheFocusAndKeysAreNotJudged();
    void releaseWithoutPressIsNotJudged();
    void releaseIsJudgedByItsPhysicalKey();
    void spaceActivatesTheFocusedButton();
    void timerKeepsTickingAcrossRestarts();

private:
    QWindow *window() const { return m_form->windowHandle(); }
    QString text(const char *name) const;
    QStringList statistics() const;
    QWidget *focused() const { return QApplication::focusWidget(); }
    Qt::Key targetKey() const;
    Qt::Key otherKey() const;
    QLineEdit *answerBox() const { return m_form->findChild<QLineEdit *>("Text1"); }
    QPushButton *button(const char *name) const { return m_form->findChild<QPushButton *>(name); }

    std::unique_ptr<Form1> m_form;
    std::vector<Verdict> m_cues;
    // A drill of its own, fed the same keys: the window must ask for the same letters.
    TypingDrill m_mirror;
};

QString TestForm1Events::text(const char *name) const
{
    return m_form->findChild<QLabel *>(name)->text();
}

QStringList TestForm1Events::statistics() const
{
    return {text("zimu"),   text("zongshu2"), text("zhengque2"),
            text("cuowu2"), text("sudu2"),    text("zhengquelv")};
}

Qt::Key TestForm1Events::targetKey() const
{
    return static_cast<Qt::Key>(Qt::Key_A + (text("zimu").at(0).unicode() - u'A'));
}

Qt::Key TestForm1Events::otherKey() const
{
    return targetKey() == Qt::Key_A ? Qt::Key_B : Qt::Key_A;
}

void TestForm1Events::init()
{
    m_cues.clear();
    m_mirror = TypingDrill();
    m_mirror.reset();
    m_form = std::make_unique<Form1>([this](Verdict verdict) { m_cues.push_back(verdict); });
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
}

void TestForm1Events::cleanup()
{
    m_form.reset();
}

void TestForm1Events::startsWithResetStatistics()
{
    QCOMPARE(statistics(),
             QStringList(
                 {QString::fromStdString(m_mirror.zimuText()), "0", "0", "0", "0 字/分", "0 %"}));
    QVERIFY(text("zimu").contains(QRegularExpression("^[A-Z]$")));
    QCOMPARE(answerBox()->text(), "");
    QCOMPARE(focused(), answerBox());
    QVERIFY(m_cues.empty());
}

void TestForm1Events::judgesCorrectAndWrongKeys()
{
    const Qt::Key target = targetKey();
    QTest::keyPress(window(), target);
    // Between press and release the typed character stands in the box.
    QCOMPARE(answerBox()->text().toUpper(), text("zimu"));
    QTest::keyRelease(window(), target);
    m_mirror.keyReleased(static_cast<KeyCode>(m_mirror.zimuCode()));

    QCOMPARE(m_cues, std::vector<Verdict>({Verdict::Correct}));
    QCOMPARE(text("zimu"), QString::fromStdString(m_mirror.zimuText()));
    QCOMPARE(text("zongshu2"), "1");
    QCOMPARE(text("zhengque2"), "1");
    QCOMPARE(text("cuowu2"), "0");
    QVERIFY(text("sudu2").endsWith(" 字/分"));
    QCOMPARE(text("zhengquelv"), "100%");
    QCOMPARE(answerBox()->text(), "");
    QCOMPARE(focused(), answerBox());

    // Upper case through Shift: the letter is right, the Shift release after it is wrong.
    QTest::keyClick(window(), targetKey(), Qt::ShiftModifier);
    QCOMPARE(m_cues, std::vector<Verdict>({Verdict::Correct, Verdict::Correct, Verdict::Wrong}));

    QTest::keyClick(window(), otherKey());
    QCOMPARE(m_cues.back(), Verdict::Wrong);
    QCOMPARE(text("zongshu2"), "4");
    QCOMPARE(text("zhengque2"), "2");
    QCOMPARE(text("cuowu2"), "2");
    QCOMPARE(text("zhengquelv"), "50%");
    QCOMPARE(answerBox()->text(), "");
    QCOMPARE(focused(), answerBox());
}

void TestForm1Events::shiftAloneIsWrong()
{
    QTest::keyClick(window(), Qt::Key_Shift);
    QCOMPARE(m_cues, std::vector<Verdict>({Verdict::Wrong}));
    QCOMPARE(text("zongshu2"), "1");
    QCOMPARE(text("cuowu2"), "1");
    QCOMPARE(text("zhengquelv"), "0%");
}

void TestForm1Events::heldKeyIsJudgedOnceAtItsRelease()
{
    const Qt::Key target = targetKey();
    const QString typed =
        QTest::keyToAscii(target) ? QString(QChar(QTest::keyToAscii(target))) : QString();
    QTest::simulateEvent(window(), true, target, {}, typed, false);
    // The window system's repeat: release and press pairs marked as repeated.
    for (int i = 0; i < 10; ++i) {
        QTest::simulateEvent(window(), false, target, {}, typed, true);
        QTest::simulateEvent(window(), true, target, {}, typed, true);
    }
    QCOMPARE(text("zongshu2"), "0");
    QVERIFY(m_cues.empty());
    QCOMPARE(answerBox()->text().size(), 1);

    QTest::simulateEvent(window(), false, target, {}, typed, false);
    QCOMPARE(text("zongshu2"), "1");
    QCOMPARE(text("zhengque2"), "1");
    QCOMPARE(m_cues, std::vector<Verdict>({Verdict::Correct}));
}

void TestForm1Events::answerBoxHoldsOneCharacter()
{
    QTest::keyPress(window(), Qt::Key_Q);
    QTest::keyPress(window(), Qt::Key_W);
    QCOMPARE(answerBox()->text(), "q");
    QTest::keyRelease(window(), Qt::Key_W);
    QCOMPARE(answerBox()->text(), "");
    QTest::keyRelease(window(), Qt::Key_Q);
    QCOMPARE(text("zongshu2"), "2");
}

void TestForm1Events::menuKeyIsJudgedWithoutMenu()
{
    QTest::keyClick(window(), Qt::Key_Menu);
    QCOMPARE(QApplication::activePopupWidget(), nullptr);
    QCOMPARE(focused(), answerBox());
    QCOMPARE(text("cuowu2"), "1");
    QCOMPARE(m_cues, std::vector<Verdict>({Verdict::Wrong}));
}

void TestForm1Events::enterRestartsWithoutJudgingItsRelease_data()
{
    QTest::addColumn<int>("enterKey");
    QTest::addColumn<int>("tabsBefore");

    QTest::newRow("Return in the answer box") << int(Qt::Key_Return) << 0;
    QTest::newRow("keypad Enter in the answer box") << int(Qt::Key_Enter) << 0;
    QTest::newRow("Return on the focused restart button") << int(Qt::Key_Return) << 2;
}

void TestForm1Events::enterRestartsWithoutJudgingItsRelease()
{
    QFETCH(int, enterKey);
    QFETCH(int, tabsBefore);
    const auto enter = static_cast<Qt::Key>(enterKey);
    const Qt::KeyboardModifiers modifiers =
        enter == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier;

    QTest::keyClick(window(), otherKey());
    QTest::keyClick(window(), otherKey());
    QCOMPARE(text("zongshu2"), "2");
    for (int i = 0; i < tabsBefore; ++i)
        QTest::keyClick(window(), Qt::Key_Tab);
    if (tabsBefore == 2)
        QCOMPARE(focused(), button("Command1"));
    m_cues.clear();

    QTest::keyPress(window(), enter, modifiers);
    m_mirror.keyReleased(0);
    m_mirror.keyReleased(0);
    m_mirror.reset();
    QCOMPARE(statistics(),
             QStringList(
                 {QString::fromStdString(m_mirror.zimuText()), "0", "0", "0", "0 字/分", "0 %"}));
    QCOMPARE(focused(), answerBox());

    QTest::keyRelease(window(), enter, modifiers);
    QCOMPARE(text("zongshu2"), "0");
    QCOMPARE(text("zhengquelv"), "0 %");
    QVERIFY(m_cues.empty());

    // Only that one release is skipped: the next key counts again.
    QTest::keyClick(window(), otherKey());
    QCOMPARE(text("zongshu2"), "1");
}

void TestForm1Events::mouseRestartReturnsTheFocus()
{
    QTest::keyClick(window(), otherKey());
    QTest::keyClick(window(), Qt::Key_Tab);
    QCOMPARE(focused(), button("Command2"));

    QTest::mouseClick(button("Command1"), Qt::LeftButton);
    QCOMPARE(text("zongshu2"), "0");
    QCOMPARE(focused(), answerBox());
    QCOMPARE(answerBox()->text(), "");

    // A click on a button does not take the focus from the answer box.
    QTest::keyPress(window(), Qt::Key_K);
    QTest::mouseClick(button("Command1"), Qt::LeftButton);
    QCOMPARE(answerBox()->text(), "");
    QCOMPARE(focused(), answerBox());
}

void TestForm1Events::tabTakesTheFocusAndKeysAreNotJudged()
{
    QTest::keyClick(window(), Qt::Key_Tab);
    QCOMPARE(focused(), button("Command2"));
    QTest::keyClick(window(), targetKey());
    QTest::keyClick(window(), Qt::Key_Shift);
    QTest::keyClick(window(), Qt::Key_Tab);
    QCOMPARE(focused(), button("Command1"));
    QTest::keyClick(window(), otherKey());
    QCOMPARE(text("zongshu2"), "0");
    QVERIFY(m_cues.empty());

    // The order wraps round; the release of the Tab that brought the focus back lands in the
    // box, but its press was not typed there, so it is not judged.
    QTest::keyClick(window(), Qt::Key_Tab);
    QCOMPARE(focused(), answerBox());
    QCOMPARE(text("zongshu2"), "0");
    QVERIFY(m_cues.empty());
    QTest::keyClick(window(), otherKey());
    QCOMPARE(text("zongshu2"), "1");

    // A key held while the focus leaves is not judged when it comes back either.
    QTest::keyPress(window(), otherKey());
    QTest::keyClick(window(), Qt::Key_Tab, Qt::ShiftModifier);
    QCOMPARE(focused(), button("Command1"));
    QTest::mouseClick(answerBox(), Qt::LeftButton);
    QCOMPARE(focused(), answerBox());
    QTest::keyRelease(window(), otherKey());
    QCOMPARE(text("zongshu2"), "1");

    // A click into the answer box brings the judging back.
    QTest::keyClick(window(), otherKey());
    QCOMPARE(text("zongshu2"), "2");
}

void TestForm1Events::releaseWithoutPressIsNotJudged()
{
    // The key that started the program, pressed before the window existed.
    QTest::keyRelease(window(), Qt::Key_Return);
    QTest::keyRelease(window(), otherKey());
    QCOMPARE(text("zongshu2"), "0");
    QVERIFY(m_cues.empty());

    // A shifted symbol released after Shift is the same key as its press.
    QTest::keyPress(window(), Qt::Key_1);
    QTest::keyRelease(window(), Qt::Key_Exclam, Qt::ShiftModifier);
    QCOMPARE(text("zongshu2"), "1");
}

void TestForm1Events::releaseIsJudgedByItsPhysicalKey()
{
    // With a native scan code, the release pairs with its press even when Shift, pressed in
    // between, made it another symbol: on a German layout "2" comes up as '"'.
    const auto send = [this](QEvent::Type type, Qt::Key key, Qt::KeyboardModifiers modifiers,
                             quint32 scanCode) {
        QKeyEvent event(type, key, modifiers, scanCode, 0, 0);
        QApplication::sendEvent(answerBox(), &event);
    };
    constexpr quint32 digitTwo = 11;
    send(QEvent::KeyPress, Qt::Key_2, {}, digitTwo);
    send(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier, 50);
    send(QEvent::KeyRelease, Qt::Key_QuoteDbl, Qt::ShiftModifier, digitTwo);
    QCOMPARE(text("zongshu2"), "1");
    QCOMPARE(text("cuowu2"), "1");
    QCOMPARE(m_cues.size(), std::size_t(1));

    // Judged by its code at press: the letter shown, released after Shift changed nothing here.
    const Qt::Key target = targetKey();
    send(QEvent::KeyPress, target, {}, 38);
    send(QEvent::KeyRelease, Qt::Key_Exclam, Qt::ShiftModifier, 38);
    QCOMPARE(text("zhengque2"), "1");
    send(QEvent::KeyRelease, Qt::Key_Shift, Qt::ShiftModifier, 50);
    QCOMPARE(text("zongshu2"), "3");
}

void TestForm1Events::spaceActivatesTheFocusedButton()
{
    QTest::keyClick(window(), otherKey());
    QTest::keyClick(window(), Qt::Key_Tab);
    QTest::keyClick(window(), Qt::Key_Tab);
    QCOMPARE(focused(), button("Command1"));
    m_cues.clear();

    QTest::keyClick(window(), Qt::Key_Space);
    QCOMPARE(text("zongshu2"), "0");
    QCOMPARE(focused(), answerBox());
    QVERIFY(m_cues.empty());
}

void TestForm1Events::timerKeepsTickingAcrossRestarts()
{
    // With no tick counted, the speed of one key would be at least 600 keys per minute.
    const auto speedOfOneKey = [this] {
        QTest::keyClick(window(), otherKey());
        return text("sudu2").chopped(4).toDouble();
    };
    QTest::qWait(500);
    QVERIFY2(speedOfOneKey() < 600, qPrintable(text("sudu2")));
    QTest::mouseClick(button("Command1"), Qt::LeftButton);
    QTest::qWait(500);
    const double afterRestart = speedOfOneKey();
    QVERIFY2(afterRestart < 600, qPrintable(text("sudu2")));
    QCOMPARE(text("zongshu2"), "1");
}

QTEST_MAIN(TestForm1Events)
#include "tst_form1_events.moc"
