#pragma once

#include "progress_data.h"

#include <QWidget>

class QLabel;

// The 26 letter keys on their three QWERTY rows, each coloured from weak (red) to strong
// (green) by accuracy or by median reaction time. Each key's figures are in its tooltip and its
// accessible description; a key with fewer than 5 answers is grey and says so.
class KeyboardMap : public QWidget
{
    Q_OBJECT

public:
    enum class Measure { Accuracy, ReactionTime };
    static constexpr int fewestSamples = 5;

    explicit KeyboardMap(QWidget *parent = nullptr);

    void setLetters(const QList<LetterRow> &letters);
    void setMeasure(Measure measure);

private:
    void paintKeys();

    QList<QLabel *> m_keys;
    QList<LetterRow> m_letters;
    Measure m_measure = Measure::Accuracy;
};
