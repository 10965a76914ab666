#include "letter_table_model.h"

#include "key_names.h"

namespace {

enum Column { Letter, Asked, Correct, Accuracy, Median, Best, Instead, ColumnCount };

QString milliseconds(int ms)
{
    return ms < 0 ? QStringLiteral("—") : QString::number(ms);
}

} // namespace

void LetterTableModel::setRows(const QList<LetterRow> &rows)
{
    if (rows.size() != m_rows.size()) {
        beginResetModel();
        m_rows = rows;
        endResetModel();
        return;
    }
    for (int row = 0; row < rows.size(); ++row) {
        if (rows[row] == m_rows[row])
            continue;
        m_rows[row] = rows[row];
        emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
    }
}

int LetterTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int LetterTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant LetterTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const LetterRow &row = m_rows[index.row()];
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(index.column() == Letter ? Qt::Alignment(Qt::AlignCenter)
                                                            : Qt::AlignRight | Qt::AlignVCenter);
    if (role == sortRole) {
        switch (index.column()) {
        case Letter:
            return QString(row.letter);
        case Asked:
            return row.asked;
        case Correct:
            return row.correct;
        case Accuracy:
            return row.asked ? row.accuracy() : -1.0;
        case Median:
            return row.medianMs;
        case Best:
            return row.bestMs;
        case Instead:
            return row.mostConfusedCount;
        }
    }
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case Letter:
        return QString(row.letter);
    case Asked:
        return row.asked;
    case Correct:
        return row.correct;
    case Accuracy:
        return row.asked ? QString::number(row.accuracy(), 'f', 1) + " %" : QStringLiteral("—");
    case Median:
        return milliseconds(row.medianMs);
    case Best:
        return milliseconds(row.bestMs);
    case Instead:
        return row.mostConfusedKey ? QStringLiteral("%1（%2 次）")
                                         .arg(keyName(row.mostConfusedKey))
                                         .arg(row.mostConfusedCount)
                                   : QStringLiteral("—");
    }
    return {};
}

QVariant LetterTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const QStringList titles {"字母",          "出现次数", "正确",    "正确率",
                                     "反应中位数 ms", "最快 ms",  "最常按成"};
    return titles.value(section);
}
