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

// Gives the form its title, icon, font and fixed size, and creates every control on it at its
// place in twips converted at the logical DPI of the form's screen.
// Connects nothing and starts nothing: the window's behaviour is Form1's.
Form1Controls createForm1Controls(QWidget *form);
