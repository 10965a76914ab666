#include "pupil_login_window.h"
#include "small_screen.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;
using Check = PupilLoginWindow::Check;

namespace {

// The class server as the window sees it: one answer to every check, after a delay, and what it
// was asked. Set up before a check starts; shared with the worker, which may outlive the window.
struct FakeServer
{
    Check answer = Check::Accepted;
    std::chrono::milliseconds delay {0};
    std::atomic<int> answered {0};
    std::mutex mutex;
    QStringList asked;

    QStringList askedSoFar()
    {
        const std::lock_guard lock(mutex);
        return asked;
    }
};

QAccessibleInterface *accessibleOf(QObject *object)
{
    return QAccessible::queryAccessibleInterface(object);
}

// Types into whichever widget has the focus; a character beyond ASCII comes as a key without a
// code, as a full-width or Chinese keyboard layout sends it.
void typeText(const QString &text)
{
    for (const QChar c : text) {
        const Qt::Key code = c.unicode() < 0x80 ? Qt::Key(c.toUpper().unicode()) : Qt::Key_unknown;
        QTest::sendKeyEvent(QTest::Click, QApplication::focusWidget(), code, QString(c),
                            c.isUpper() ? Qt::ShiftModifier : Qt::NoModifier);
    }
}

bool allEnabled(const QList<QWidget *> &widgets, bool enabled = true)
{
    return std::all_of(widgets.begin(), widgets.end(),
                       [enabled](QWidget *widget) { return widget->isEnabled() == enabled; });
}

enum class Way { Keyboard, NumberPad, DigitPad };

} // namespace

class TestPupilLoginWindow : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { m_window.reset(); }
    void opensFittingAndNamed();
    void typesAndChecks_data();
    void typesAndChecks();
    void enterAndArrowsMoveBetweenFields();
    void studentNumberTakesAsciiLettersAndDigitsOnly_data();
    void studentNumberTakesAsciiLettersAndDigitsOnly();
    void givenStudentNumberAsksOnlyThePin();
    void wrongPinsClearAndThreePause();
    void escapeOrClosingRejectsAndIgnoresACheck();

private:
    void open(const QString &givenNumber = {});
    // A key to the window as the keyboard sends it, to whatever has the focus.
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) const
    {
        QTest::keyClick(m_window->windowHandle(), key, modifiers);
    }
    void enterNumberAndPin(const QString &number, const QString &pin) const;
    QLineEdit *numberField() const { return m_window->findChild<QLineEdit *>("studentNumber"); }
    QWidget *pinField() const { return m_window->findChild<QWidget *>("pin"); }
    QString status() const { return m_window->findChild<QLabel *>("status")->text(); }
    QPushButton *button(const QString &accessibleName) const;

    std::shared_ptr<FakeServer> m_server;
    std::unique_ptr<PupilLoginWindow> m_window;
};

void TestPupilLoginWindow::open(const QString &givenNumber)
{
    m_server = std::make_shared<FakeServer>();
    const auto checker = [server = m_server](const QString &number, const QString &pin) {
        std::this_thread::sleep_for(server->delay);
        const std::lock_guard lock(server->mutex);
        server->asked << number + u'/' + pin;
        ++server->answered;
        return server->answer;
    };
    m_window = std::make_unique<PupilLoginWindow>(checker, givenNumber);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
}

void TestPupilLoginWindow::enterNumberAndPin(const QString &number, const QString &pin) const
{
    numberField()->setFocus();
    numberField()->selectAll();
    typeText(number);
    press(Qt::Key_Return);
    typeText(pin);
    press(Qt::Key_Return);
}

QPushButton *TestPupilLoginWindow::button(const QString &accessibleName) const
{
    for (QPushButton *found : m_window->findChildren<QPushButton *>()) {
        if (found->accessibleName() == accessibleName)
            return found;
    }
    qFatal("no button %s", qPrintable(accessibleName));
}

void TestPupilLoginWindow::opensFittingAndNamed()
{
    open();
    QVERIFY(m_window->screen()->availableGeometry().contains(m_window->frameGeometry()));
    QCOMPARE(m_window->windowTitle(), "请输入学号和 PIN");
    QCOMPARE(QApplication::focusWidget(), numberField());
    QCOMPARE(accessibleOf(numberField())->text(QAccessible::Name), "学号");
    for (const char *name : {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "删除", "开始"})
        QCOMPARE(accessibleOf(button(QString::fromUtf8(name)))->role(), QAccessible::Button);

    // The PIN reads as a password field that tells how many digits are typed, never which.
    QAccessibleInterface *pin = accessibleOf(pinField());
    QCOMPARE(pin->role(), QAccessible::EditableText);
    QVERIFY(pin->state().passwordEdit);
    pinField()->setFocus();
    typeText("9875");
    QCOMPARE(pin->text(QAccessible::Name), "PIN");
    QCOMPARE(pin->text(QAccessible::Value), "●●●●");
    QVERIFY(pin->text(QAccessible::Description).contains("已输入 4 位"));
    for (const auto kind : {QAccessible::Name, QAccessible::Value, QAccessible::Description}) {
        for (const QChar digit : QStringLiteral("9875"))
            QVERIFY2(!pin->text(kind).contains(digit), qPrintable(pin->text(kind)));
    }
}

void TestPupilLoginWindow::typesAndChecks_data()
{
    QTest::addColumn<Way>("way");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("pin");
    QTest::addColumn<Check>("answer");

    // '<' deletes the last digit: Backspace, or ⌫ on the digit pad.
    QTest::newRow("keyboard, accepted")
        << Way::Keyboard << QString("123456") << QString("123456") << Check::Accepted;
    QTest::newRow("number pad, a digit deleted, server away")
        << Way::NumberPad << QString("4<09877<65") << QString("098765") << Check::ServerAway;
    QTest::newRow("digit pad, a seventh digit ignored")
        << Way::DigitPad << QString("1357<0246") << QString("135024") << Check::Accepted;
}

void TestPupilLoginWindow::typesAndChecks()
{
    QFETCH(Way, way);
    QFETCH(QString, typed);
    QFETCH(QString, pin);
    QFETCH(Check, answer);

    open();
    m_server->answer = answer;
    typeText("Ab12");
    press(Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), pinField());
    for (const QChar c : typed) {
        if (way == Way::DigitPad) {
            QTest::mouseClick(button(c == u'<' ? QStringLiteral("删除") : QString(c)),
                              Qt::LeftButton);
            QCOMPARE(QApplication::focusWidget(), pinField());
        } else if (c == u'<') {
            press(Qt::Key_Backspace);
        } else {
            press(Qt::Key(c.unicode()),
                  way == Way::NumberPad ? Qt::KeypadModifier : Qt::NoModifier);
        }
    }
    QCOMPARE(m_window->pin(), pin);
    if (way == Way::DigitPad)
        QTest::mouseClick(button("开始"), Qt::LeftButton);
    else if (way == Way::NumberPad)
        press(Qt::Key_Enter, Qt::KeypadModifier);
    else
        press(Qt::Key_Return);

    QTRY_VERIFY(!m_window->isVisible());
    QCOMPARE(m_window->result(), QDialog::Accepted);
    QCOMPARE(m_server->askedSoFar(), QStringList {"Ab12/" + pin});
    QCOMPARE(m_window->studentNumber(), "Ab12");
    QCOMPARE(m_window->serverAway(), answer == Check::ServerAway);
}

void TestPupilLoginWindow::enterAndArrowsMoveBetweenFields()
{
    open();
    press(Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), numberField());
    QCOMPARE(status(), "请先输入学号。");
    QCOMPARE(accessibleOf(numberField())->text(QAccessible::Description), status());

    typeText("S1");
    press(Qt::Key_Down);
    QCOMPARE(QApplication::focusWidget(), pinField());
    press(Qt::Key_Up);
    QCOMPARE(QApplication::focusWidget(), numberField());
    press(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), pinField());

    // Enter with too few digits says so and checks nothing.
    typeText("12345");
    press(Qt::Key_Return);
    QCOMPARE(status(), "PIN 是 6 位数字。");
    QVERIFY(accessibleOf(pinField())->text(QAccessible::Description).startsWith(status()));
    QCOMPARE(QApplication::focusWidget(), pinField());
    press(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), button("开始"));
    QVERIFY(m_window->isVisible());
    QVERIFY(m_server->askedSoFar().isEmpty());
}

void TestPupilLoginWindow::studentNumberTakesAsciiLettersAndDigitsOnly_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");
    QTest::newRow("letters, digits") << QString("Zs0219") << QString("Zs0219");
    QTest::newRow("punctuation, spaces") << QString("a-b c.1_") << QString("abc1");
    QTest::newRow("Chinese, full width") << QString("学号１2Ｂ") << QString("2");
    QTest::newRow("at most 20") << QString(25, u'7') << QString(20, u'7');
}

void TestPupilLoginWindow::studentNumberTakesAsciiLettersAndDigitsOnly()
{
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    open();
    typeText(typed);
    QCOMPARE(numberField()->text(), kept);
}

void TestPupilLoginWindow::givenStudentNumberAsksOnlyThePin()
{
    open("S7");
    QVERIFY(!numberField());
    QCOMPARE(m_window->windowTitle(), "请输入 PIN");
    QCOMPARE(m_window->findChild<QLabel *>("givenNumber")->text(), "S7");
    QCOMPARE(QApplication::focusWidget(), pinField());
    typeText("246810");
    press(Qt::Key_Return);
    QTRY_COMPARE(m_window->result(), QDialog::Accepted);
    QCOMPARE(m_server->askedSoFar(), QStringList {"S7/246810"});

    // One that is no 学号 is asked for again.
    open("S-7");
    QVERIFY(numberField()->isVisible());
    QVERIFY(numberField()->text().isEmpty());
}

void TestPupilLoginWindow::wrongPinsClearAndThreePause()
{
    open();
    m_window->setWrongPinPause(1900ms);
    m_server->answer = Check::WrongPin;
    const QList<QWidget *> inputs {numberField(), pinField(), button("5"), button("开始")};
    // Waits for the server rather than the status: the answer may come while the keys are
    // still being delivered.
    int asked = 0;
    const auto wrongOnce = [this, &asked] {
        enterNumberAndPin("S1", "111111");
        ++asked;
        QTRY_COMPARE(m_server->answered.load(), asked);
    };

    for (int attempt = 1; attempt <= 2; ++attempt) {
        wrongOnce();
        QTRY_COMPARE(status(), "PIN 不对，请再试一次。");
        QVERIFY(m_window->pin().isEmpty());
        QCOMPARE(QApplication::focusWidget(), pinField());
        QVERIFY(accessibleOf(pinField())->text(QAccessible::Description).startsWith(status()));
        QVERIFY(allEnabled(inputs));
    }

    wrongOnce();
    QTRY_VERIFY(status().startsWith("请等一会儿再试。还有 "));
    QVERIFY(allEnabled(inputs, false));
    typeText("12");
    press(Qt::Key_Return);
    QVERIFY(m_window->pin().isEmpty());
    QTRY_COMPARE(status(), "请等一会儿再试。还有 1 秒。");
    QTRY_VERIFY(allEnabled(inputs));
    QCOMPARE(QApplication::focusWidget(), pinField());

    // The count starts again: two more wrong PINs are only said.
    for (int attempt = 4; attempt <= 5; ++attempt) {
        wrongOnce();
        QTRY_COMPARE(status(), "PIN 不对，请再试一次。");
    }
    QCOMPARE(m_server->askedSoFar().size(), 5);
}

void TestPupilLoginWindow::escapeOrClosingRejectsAndIgnoresACheck()
{
    open();
    QVERIFY(m_window->close());
    QCOMPARE(m_window->result(), QDialog::Rejected);

    open();
    m_server->delay = 300ms;
    enterNumberAndPin("S1", "123456");
    QCOMPARE(status(), "正在检查…");
    QVERIFY(allEnabled({numberField(), pinField()}, false));
    press(Qt::Key_Escape);
    QCOMPARE(m_window->result(), QDialog::Rejected);
    QTRY_COMPARE(m_server->answered.load(), 1);
    // Time for the worker's end to reach the window, which must not take the answer.
    QTest::qWait(200);
    QVERIFY(!m_window->isVisible());
    QCOMPARE(m_window->result(), QDialog::Rejected);

    // The window gone before the answer: nothing is left to take it (AddressSanitizer's build
    // sees a use after free or a leaked thread).
    open();
    const std::shared_ptr<FakeServer> server = m_server;
    server->delay = 300ms;
    enterNumberAndPin("S1", "123456");
    m_window.reset();
    QTRY_COMPARE(server->answered.load(), 1);
    QTest::qWait(200);
}

int main(int argc, char **argv)
{
    return execOnSmallScreen<TestPupilLoginWindow>(argc, argv);
}
#include "tst_pupil_login_window.moc"
