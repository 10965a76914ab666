#include "runs_model.h"

namespace {

enum Column { Started, Length, Keys, Correct, Wrong, Speed, Accuracy, Mode, EndedBy, ColumnCount };

QString howItEnded(const QString &endedBy)
{
    if (endedBy == "restart")
        return QStringLiteral("重新开始");
    if (endedBy == "exit")
        return QStringLiteral("退出");
    if (endedBy == "interrupted")
        return QStringLiteral("中断");
    return QStringLiteral("进行中");
}

QString howPractised(const QString &mode)
{
    return mode == "weak" ? QStringLiteral("薄弱字母") : QStringLiteral("随机");
}

QString length(int seconds)
{
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QChar('0'));
}

} // namespace

void RunsModel::setRows(const QList<RunListRow> &rows)
{
    const bool sameStart = rows.size() >= m_rows.size()
        && std::equal(m_rows.begin(), m_rows.end(), rows.begin(),
                      [](const RunListRow &a, const RunListRow &b) { return a.id == b.id; });
    if (!sameStart) {
        beginResetModel();
        m_rows = rows;
        endResetModel();
        return;
    }
    for (int row = 0; row < m_rows.size(); ++row) {
        if (rows[row] == m_rows[row])
            continue;
        m_rows[row] = rows[row];
        emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
    }
    if (rows.size() > m_rows.size()) {
        beginInsertRows({}, int(m_rows.size()), int(rows.size()) - 1);
        m_rows.append(rows.mid(m_rows.size()));
        endInsertRows();
    }
}

int RunsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int RunsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant RunsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const RunListRow &run = m_rows[index.row()];
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(index.column() == Started || index.column() == Mode
                                           || index.column() == EndedBy
                                       ? Qt::AlignLeft | Qt::AlignVCenter
                                       : Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != sortRole)
        return {};
    const bool display = role == Qt::DisplayRole;
    switch (index.column()) {
    case Started:
        return display ? QVariant(run.started.toString("yyyy-MM-dd HH:mm"))
                       : QVariant(run.started.toMSecsSinceEpoch());
    case Length:
        return display ? QVariant(length(run.seconds)) : QVariant(run.seconds);
    case Keys:
        return run.total;
    case Correct:
        return run.correct;
    case Wrong:
        return run.wrong;
    case Speed:
        return display ? QVariant(QString::number(run.speed, 'f', 0)) : QVariant(run.speed);
    case Accuracy:
        return display ? QVariant(QString::number(run.accuracy, 'f', 1) + " %")
                       : QVariant(run.accuracy);
    case Mode:
        return howPractised(run.mode);
    case EndedBy:
        return howItEnded(run.endedBy);
    }
    return {};
}

QVariant RunsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const QStringList titles {"开始时间",   "时长",   "按键", "正确",    "错误",
                                     "速度 字/分", "正确率", "方式", "结束方式"};
    return titles.value(section);
}
