#include "key_code.h"

#include <QKeyEvent>
#include <QtTest>

class TestKeyCode : public QObject
{
    Q_OBJECT

private slots:
    void mapsQtKeys_data();
    void mapsQtKeys();
    void readsTheKeyEvent();
};

void TestKeyCode::mapsQtKeys_data()
{
    QTest::addColumn<int>("qtKey");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<int>("expected");

    const Qt::KeyboardModifiers none;
    const Qt::KeyboardModifiers shift = Qt::ShiftModifier;
    const Qt::KeyboardModifiers keypad = Qt::KeypadModifier;
    const auto row = [](const char *name, int qtKey, Qt::KeyboardModifiers modifiers, int code) {
        QTest::newRow(name) << qtKey << modifiers << code;
    };

    row("A", Qt::Key_A, none, 65);
    row("H", Qt::Key_H, none, 72);
    row("Z", Qt::Key_Z, none, 90);
    row("Shift+A", Qt::Key_A, shift, 65);
    row("Ctrl+Alt+Q", Qt::Key_Q, Qt::ControlModifier | Qt::AltModifier, 81);
    row("0", Qt::Key_0, none, 48);
    row("9", Qt::Key_9, none, 57);
    row("keypad 0", Qt::Key_0, keypad, 96);
    row("keypad 9", Qt::Key_9, keypad, 105);
    row("keypad *", Qt::Key_Asterisk, keypad, 106);
    row("keypad +", Qt::Key_Plus, keypad, 107);
    row("keypad -", Qt::Key_Minus, keypad, 109);
    row("keypad .", Qt::Key_Period, keypad, 110);
    row("keypad /", Qt::Key_Slash, keypad, 111);
    row("keypad Enter", Qt::Key_Enter, keypad, 13);
    row("keypad Home (Num Lock off)", Qt::Key_Home, keypad, 36);
    row("F1", Qt::Key_F1, none, 112);
    row("F12", Qt::Key_F12, none, 123);
    row("F24", Qt::Key_F24, none, 135);
    row("Shift", Qt::Key_Shift, shift, 16);
    row("Ctrl", Qt::Key_Control, none, 17);
    row("Alt", Qt::Key_Alt, none, 18);
    row("AltGr", Qt::Key_AltGr, none, 18);
    row("Meta", Qt::Key_Meta, none, 91);
    row("Super left", Qt::Key_Super_L, none, 91);
    row("Super right", Qt::Key_Super_R, none, 92);
    row("Caps Lock", Qt::Key_CapsLock, none, 20);
    row("Num Lock", Qt::Key_NumLock, none, 144);
    row("Scroll Lock", Qt::Key_ScrollLock, none, 145);
    row("Pause", Qt::Key_Pause, none, 19);
    row("Print", Qt::Key_Print, none, 44);
    row("Menu", Qt::Key_Menu, none, 93);
    row("Return", Qt::Key_Return, none, 13);
    row("Escape", Qt::Key_Escape, none, 27);
    row("Tab", Qt::Key_Tab, none, 9);
    row("Backtab", Qt::Key_Backtab, shift, 9);
    row("Backspace", Qt::Key_Backspace, none, 8);
    row("Space", Qt::Key_Space, none, 32);
    row("Page Up", Qt::Key_PageUp, none, 33);
    row("Page Down", Qt::Key_PageDown, none, 34);
    row("End", Qt::Key_End, none, 35);
    row("Home", Qt::Key_Home, none, 36);
    row("Left", Qt::Key_Left, none, 37);
    row("Up", Qt::Key_Up, none, 38);
    row("Right", Qt::Key_Right, none, 39);
    row("Down", Qt::Key_Down, none, 40);
    row("Insert", Qt::Key_Insert, none, 45);
    row("Delete", Qt::Key_Delete, none, 46);
    row(";", Qt::Key_Semicolon, none, 186);
    row(":", Qt::Key_Colon, shift, 186);
    row("=", Qt::Key_Equal, none, 187);
    row("+", Qt::Key_Plus, shift, 187);
    row(",", Qt::Key_Comma, none, 188);
    row("<", Qt::Key_Less, shift, 188);
    row("-", Qt::Key_Minus, none, 189);
    row("_", Qt::Key_Underscore, shift, 189);
    row(".", Qt::Key_Period, none, 190);
    row(">", Qt::Key_Greater, shift, 190);
    row("/", Qt::Key_Slash, none, 191);
    row("?", Qt::Key_Question, shift, 191);
    row("`", Qt::Key_QuoteLeft, none, 192);
    row("~", Qt::Key_AsciiTilde, shift, 192);
    row("[", Qt::Key_BracketLeft, none, 219);
    row("{", Qt::Key_BraceLeft, shift, 219);
    row("backslash", Qt::Key_Backslash, none, 220);
    row("|", Qt::Key_Bar, shift, 220);
    row("]", Qt::Key_BracketRight, none, 221);
    row("}", Qt::Key_BraceRight, shift, 221);
    row("'", Qt::Key_Apostrophe, none, 222);
    row("\"", Qt::Key_QuoteDbl, shift, 222);
    row("!", Qt::Key_Exclam, shift, 49);
    row("@", Qt::Key_At, shift, 50);
    row("#", Qt::Key_NumberSign, shift, 51);
    row("$", Qt::Key_Dollar, shift, 52);
    row("%", Qt::Key_Percent, shift, 53);
    row("^", Qt::Key_AsciiCircum, shift, 54);
    row("&", Qt::Key_Ampersand, shift, 55);
    row("* (Shift+8)", Qt::Key_Asterisk, shift, 56);
    row("(", Qt::Key_ParenLeft, shift, 57);
    row(")", Qt::Key_ParenRight, shift, 48);
    row("unknown key", Qt::Key_unknown, none, 0);
    row("no key", 0, none, 0);
    row("dead key", Qt::Key_Dead_Acute, none, 0);
    row("Chinese input mode key", Qt::Key_Hangul, none, 0);
}

void TestKeyCode::mapsQtKeys()
{
    QFETCH(int, qtKey);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(int, expected);
    QCOMPARE(virtualKeyCode(qtKey, modifiers), expected);
}

void TestKeyCode::readsTheKeyEvent()
{
    const QKeyEvent shiftedLetter(QEvent::KeyRelease, Qt::Key_G, Qt::ShiftModifier, "G");
    QCOMPARE(virtualKeyCode(shiftedLetter), 71);
    const QKeyEvent keypadDigit(QEvent::KeyRelease, Qt::Key_5, Qt::KeypadModifier, "5");
    QCOMPARE(virtualKeyCode(keypadDigit), 101);
}

QTEST_APPLESS_MAIN(TestKeyCode)
#include "tst_key_code.moc"
