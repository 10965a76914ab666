#pragma once

class AnswerBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QTimer;
class QWidget;

// The main window's controls, under the window's own control names: short, and kept as the
// program's convention.
struct Form1Controls
{
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QTimer *Timer1 = nullptr;
    AnswerBox *Text1 = nullptr;
    QGroupBox *Frame1 = nullptr;
    QLabel *sudu2 = nullptr;
    QLabel *cuowu2 = nullptr;
    QLabel *zhengque2 = nullptr;
    QLabel *zongshu2 = nullptr;
    QLabel *zongshu = nullptr;
    QLabel *zhengque = nullptr;
    QLabel *cuowu = nullptr;
    QLabel *sudu = nullptr;
    QLabel *zhengquelv = nullptr;
    QLabel *sheji = nullptr;
    QLabel *zimu = nullptr;
};

// Gives the form its title, font and fixed size (its icon once it is first drawn), and creates
// every control on it at its place in twips converted at the logical DPI of the form's screen.
// Connects nothing and starts nothing: the window's behaviour is Form1's.
Form1Controls createForm1Controls(QWidget *form);

// Sizes the caption labels to their texts, as their fonts draw them. Needs the fonts loaded: the
// form calls it once its window is on its way to the screen, before its first frame.
void sizeLabelsToText(const Form1Controls &ui);
