#pragma once

#include "form1_controls.h"
#include "practice_log.h"
#include "statistics_text.h"
#include "typing_drill.h"

#include <QHash>
#include <QWidget>

#include <chrono>
#include <functional>

class LetterChoice;

// Whose practice the window shows, and how its letters are chosen.
struct Form1Practice
{
    // Ends the window's title (" — 小明"); empty for none.
    QString titleSuffix;
    // Draws the letters in place of the fixed sequence; not owned, and must outlive the window.
    LetterChoice *letterChoice = nullptr;
};

// The program's only window: the statistics frame, the target letter, the answer box, the
// restart and exit buttons and the credit line, with the practice run it owns.
class Form1 : public QWidget
{
    Q_OBJECT

public:
    // Starts the sound cue for a verdict and returns at once.
    using CuePlayer = std::function<void(Verdict)>;
    // Tells the sound output that a cue may follow soon; returns at once.
    using CuePreparer = std::function<void()>;

    // Creates the controls, starts Timer1, then loads: the window shows with reset statistics
    // and the focus in the answer box. prepareCue, when given, is called on each key pressed in
    // the answer box, ahead of the release that is judged. log, when given, is told of every run
    // and judged key and must outlive the window.
    explicit Form1(CuePlayer playCue, CuePreparer prepareCue = {}, PracticeLog *log = nullptr,
                   const Form1Practice &practice = {});
    ~Form1() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    using Clock = std::chrono::steady_clock;

    // A key held down in the answer box: its code as it went down, and when.
    struct PressedKey
    {
        KeyCode keyCode = 0;
        Clock::time_point at;
    };

    void createControls();
    void Form_Load();
    void Command1_Click();
    void Command2_Click();
    void Text1_KeyUp(KeyCode keyCode, Qt::KeyboardModifiers shift, Clock::time_point pressedAt);
    void Timer1_Timer();
    void writeStatistics(const StatisticsText &texts);
    void emptyText1();
    void endProgram();

    TypingDrill m_drill;
    CuePlayer m_playCue;
    CuePreparer m_prepareCue;
    PracticeLog *m_log = nullptr;
    // Keys pressed in the answer box since it took the focus, by physical key: only their
    // releases are judged, each by the code it had when it went down.
    QHash<quint32, PressedKey> m_pressedInText1;
    Clock::time_point m_letterShownAt;
    bool m_ended = false;

    Form1Controls m_ui;
};
