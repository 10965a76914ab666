#include "form1.h"

#include "answer_box.h"
#include "form1_controls.h"
#include "key_code.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace {

bool isEnter(const QKeyEvent &event)
{
    return event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter;
}

// The key on the keyboard: its scan code where the platform gives one, so that a release pairs
// with its press even when Shift, pressed meanwhile, changed the key's symbol; else its code.
quint32 physicalKey(const QKeyEvent &event, KeyCode keyCode)
{
    constexpr quint32 byCode = 1u << 31;
    return event.nativeScanCode() != 0 ? event.nativeScanCode()
                                       : byCode | static_cast<quint16>(keyCode);
}

std::int64_t millisecondsBetween(std::chrono::steady_clock::time_point from,
                                 std::chrono::steady_clock::time_point to)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

QString fromUtf8(const std::string &text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

Form1::Form1(CuePlayer playCue, CuePreparer prepareCue, PracticeLog *log,
             const Form1Practice &practice)
    : m_playCue(std::move(playCue))
    , m_prepareCue(std::move(prepareCue))
    , m_log(log)
{
    m_drill.setLetterChoice(practice.letterChoice);
    createControls();
    if (!practice.titleSuffix.isEmpty())
        setWindowTitle(windowTitle() + practice.titleSuffix);
    Form_Load();
}

Form1::~Form1() = default;

void Form1::createControls()
{
    m_ui = createForm1Controls(this);
    connect(m_ui.Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(m_ui.Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(m_ui.Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    m_ui.Text1->installEventFilter(this);
    m_ui.Timer1->start();
}

void Form1::Form_Load()
{
    m_drill.reset();
    if (m_log)
        m_log->runStarted();
    // The window is mapped first and its texts measured after, as the fonts load, still before
    // its first frame: that comes from the event loop.
    show();
    sizeLabelsToText(m_ui);
    writeStatistics(resetTexts(m_drill));
    // Without a window manager only a window that asks for it gets the keyboard.
    activateWindow();
    m_ui.Text1->setFocus();
}

void Form1::Command1_Click()
{
    if (m_ended)
        return;
    if (m_log)
        m_log->runEnded(RunEnd::Restart, m_drill);
    m_drill.reset();
    writeStatistics(resetTexts(m_drill));
    if (m_log)
        m_log->runStarted();
    emptyText1();
    m_ui.Text1->setFocus();
}

void Form1::Command2_Click()
{
    endProgram();
}

void Form1::Text1_KeyUp(KeyCode keyCode, [[maybe_unused]] Qt::KeyboardModifiers shift,
                        Clock::time_point pressedAt)
{
    const Clock::time_point releasedAt = Clock::now();
    const Clock::time_point shownAt = m_letterShownAt;
    const char letter = m_drill.zimuText().front();
    const Verdict verdict = m_drill.keyReleased(keyCode, millisecondsBetween(shownAt, pressedAt));
    m_playCue(verdict);
    writeStatistics(keyTexts(m_drill));
    emptyText1();
    m_ui.Text1->setFocus();
    if (m_log) {
        m_log->keyJudged({letter, keyCode, verdict, millisecondsBetween(shownAt, pressedAt),
                          millisecondsBetween(shownAt, releasedAt)},
                         m_drill);
    }
}

void Form1::emptyText1()
{
    // clear() would keep the typed letter and its removal in the box's undo history, which then
    // grows with every key; setting the text starts the history afresh.
    m_ui.Text1->setText(QString());
}

void Form1::Timer1_Timer()
{
    if (m_ended)
        return;
    m_drill.tick();
}

void Form1::writeStatistics(const StatisticsText &texts)
{
    m_ui.zimu->setText(fromUtf8(texts.letter));
    m_ui.zongshu2->setText(fromUtf8(texts.total));
    m_ui.zhengque2->setText(fromUtf8(texts.correct));
    m_ui.cuowu2->setText(fromUtf8(texts.wrong));
    m_ui.sudu2->setText(fromUtf8(texts.speed));
    m_ui.zhengquelv->setText(fromUtf8(texts.accuracy));
    m_ui.zhengquelv->adjustSize();
    m_letterShownAt = Clock::now();
}

void Form1::endProgram()
{
    if (m_ended)
        return;
    m_ended = true;
    if (m_log)
        m_log->runEnded(RunEnd::Exit, m_drill);
    close();
    QCoreApplication::exit(0);
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_ui.Text1)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::FocusIn:
    case QEvent::FocusOut:
        // A key pressed before the box took the focus was not typed into it: the Enter that
        // restarted on a focused button, the Tab that came back from one.
        m_pressedInText1.clear();
        return false;
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        break;
    default:
        return false;
    }
    if (m_ended)
        return true;
    const auto &key = *static_cast<QKeyEvent *>(event);
    const KeyCode keyCode = virtualKeyCode(key);
    const quint32 physical = physicalKey(key, keyCode);

    if (event->type() == QEvent::KeyPress) {
        if (!isEnter(key)) {
            if (!key.isAutoRepeat() || !m_pressedInText1.contains(physical))
                m_pressedInText1.insert(physical, {keyCode, Clock::now()});
            // A key's press comes tens of milliseconds before its release: time enough for an
            // audio device closed while nobody typed to open again before the cue.
            if (m_prepareCue && !key.isAutoRepeat())
                m_prepareCue();
            return false;
        }
        // Enter restarts; its release is no typed answer, so it is not recorded as pressed.
        if (!key.isAutoRepeat())
            m_ui.Command1->click();
        return true;
    }
    // A key held down is judged once, at its real release.
    if (key.isAutoRepeat())
        return true;
    const auto pressed = m_pressedInText1.constFind(physical);
    if (pressed == m_pressedInText1.cend())
        return true;
    const PressedKey down = *pressed;
    m_pressedInText1.erase(pressed);
    Text1_KeyUp(down.keyCode, key.modifiers(), down.at);
    return true;
}

void Form1::keyPressEvent(QKeyEvent *event)
{
    // Esc works as the cancel button wherever the focus is in the window.
    if (event->key() == Qt::Key_Escape && !m_ended) {
        m_ui.Command2->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void Form1::changeEvent(QEvent *event)
{
    // Coming back to the window is coming back to the drill: the answer box takes the keys again,
    // wherever Tab had left the focus.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !m_ended)
        m_ui.Text1->setFocus();
    QWidget::changeEvent(event);
}

void Form1::closeEvent(QCloseEvent *event)
{
    endProgram();
    QWidget::closeEvent(event);
}
