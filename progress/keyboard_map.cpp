#include "keyboard_map.h"

#include "key_names.h"

#include <QGridLayout>
#include <QLabel>

#include <algorithm>

namespace {

const QStringList rows {"QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"};
// Each row starts a little further right, as on a keyboard: in quarters of a key.
constexpr int rowIndent[] = {0, 1, 3};
constexpr int keySize = 40;

// 0 is weakest, 1 strongest: red through yellow to green.
QColor strengthColor(double strength)
{
    return QColor::fromHsvF(float(std::clamp(strength, 0.0, 1.0) / 3.0), 0.55f, 0.95f);
}

// Accuracy below 80 % counts as weak and 100 % as strong; reaction times from 1.5 s to 400 ms.
double strength(const LetterRow &row, KeyboardMap::Measure measure)
{
    if (measure == KeyboardMap::Measure::Accuracy)
        return (row.accuracy() - 80.0) / 20.0;
    return row.medianMs < 0 ? 0.0 : (1500.0 - row.medianMs) / 1100.0;
}

QString figures(const LetterRow &row)
{
    if (row.asked < KeyboardMap::fewestSamples)
        return QStringLiteral("只练过 %1 次，还不够判断").arg(row.asked);
    QString text = QStringLiteral("正确率 %1 %（%2/%3），反应中位数 %4")
                       .arg(row.accuracy(), 0, 'f', 1)
                       .arg(row.correct)
                       .arg(row.asked)
                       .arg(row.medianMs < 0 ? QStringLiteral("—")
                                             : QStringLiteral("%1 ms").arg(row.medianMs));
    if (row.mostConfusedKey)
        text += QStringLiteral("，最常按成 %1").arg(keyName(row.mostConfusedKey));
    return text;
}

} // namespace

KeyboardMap::KeyboardMap(QWidget *parent)
    : QWidget(parent)
{
    setAccessibleName(QStringLiteral("键盘图"));
    auto *grid = new QGridLayout(this);
    grid->setSpacing(4);
    // Columns of a quarter key each, so rows can be indented by part of a key.
    for (int column = 0; column < 4 * 10 + 3; ++column)
        grid->setColumnMinimumWidth(column, keySize / 4);
    for (int row = 0; row < rows.size(); ++row) {
        for (int i = 0; i < rows[row].size(); ++i) {
            auto *key = new QLabel(rows[row].mid(i, 1), this);
            key->setObjectName(QStringLiteral("key") + rows[row][i]);
            key->setAlignment(Qt::AlignCenter);
            key->setMinimumSize(keySize * 3 / 4, keySize * 3 / 4);
            key->setAccessibleName(rows[row].mid(i, 1));
            QFont font = key->font();
            font.setPointSizeF(font.pointSizeF() * 1.3);
            font.setBold(true);
            key->setFont(font);
            grid->addWidget(key, row, rowIndent[row] + 4 * i, 1, 4);
            m_keys.append(key);
        }
    }
    paintKeys();
}

void KeyboardMap::setLetters(const QList<LetterRow> &letters)
{
    m_letters = letters;
    paintKeys();
}

void KeyboardMap::setMeasure(Measure measure)
{
    m_measure = measure;
    paintKeys();
}

void KeyboardMap::paintKeys()
{
    for (QLabel *key : std::as_const(m_keys)) {
        const QChar letter = key->text().at(0);
        const auto found =
            std::find_if(m_letters.begin(), m_letters.end(),
                         [letter](const LetterRow &row) { return row.letter == letter; });
        const LetterRow row = found == m_letters.end() ? LetterRow {letter} : *found;
        const bool known = row.asked >= fewestSamples;
        const QColor fill =
            known ? strengthColor(strength(row, m_measure)) : QColor(0xdd, 0xdd, 0xdd);
        const QString style = QStringLiteral("background: %1; border: 1px solid %2;"
                                             " border-radius: 4px; color: #222;")
                                  .arg(fill.name(), fill.darker(150).name());
        if (key->styleSheet() != style)
            key->setStyleSheet(style);
        const QString text = figures(row);
        key->setToolTip(QStringLiteral("%1：%2").arg(letter).arg(text));
        key->setAccessibleDescription(text);
    }
}
