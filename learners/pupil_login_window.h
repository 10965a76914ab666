#pragma once

#include <QDialog>
#include <QList>

#include <chrono>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class PinBoxes;

// Asks a pupil in a school lab for their 学号 and 6-digit PIN and has them checked, away from the
// GUI thread. exec() gives QDialog::Accepted once the check accepts them or finds the server away,
// Rejected on Esc or the window closed.
class PupilLoginWindow : public QDialog
{
    Q_OBJECT

public:
    // What a check of a 学号 and PIN found.
    enum class Check { Accepted, WrongPin, ServerAway };
    // Runs on a worker thread (it waits for the network): must not touch widgets.
    using Checker = std::function<Check(const QString &studentNumber, const QString &pin)>;

    // studentNumber: given on the command line (--pupil); then only the PIN is asked.
    explicit PupilLoginWindow(Checker checker, const QString &studentNumber = {},
                              QWidget *parent = nullptr);

    // The 学号 typed or given.
    QString studentNumber() const;
    // The PIN's digits as typed.
    QString pin() const;
    // Whether the last check found the server away (the pupil practises; the PIN is checked later).
    bool serverAway() const { return m_serverAway; }
    // How long to wait after three wrong PINs in a row (tests shorten it).
    void setWrongPinPause(std::chrono::milliseconds pause) { m_pause = pause; }

    // Ends the dialog; a check still running is forgotten, and its answer ignored.
    void done(int result) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *createForm(bool numberGiven);
    QWidget *createDigitPad();
    void submit();
    void startCheck();
    void finishCheck(Check found);
    void startPause();
    void showPauseLeft();
    void endPause();
    void setInputsEnabled(bool enabled);
    void setStatus(const QString &text, bool warning = false);

    Checker m_checker;
    QString m_givenNumber;
    QLineEdit *m_numberField = nullptr;
    PinBoxes *m_pinField = nullptr;
    QList<QPushButton *> m_padButtons;
    QPushButton *m_start = nullptr;
    QLabel *m_status = nullptr;
    QTimer *m_pauseTick = nullptr;
    std::chrono::milliseconds m_pause {10'000};
    std::chrono::steady_clock::time_point m_pauseEnds;
    // Tells a check's answer from one the dialog has since given up on.
    quint64 m_checkId = 0;
    bool m_checking = false;
    int m_wrongInRow = 0;
    bool m_serverAway = false;
};
