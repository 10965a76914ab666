#include "class_table_model.h"

#include "key_names.h"

#include <QDateTime>

#include <cmath>

namespace {

struct ColumnInfo
{
    const char *title;
    const char *description;
};

const ColumnInfo columns[] = {
    {"学号", "学员的学号"},
    {"姓名", "学员的姓名"},
    {"本周时长", "本周一 0 点以来的练习时间"},
    {"次数", "本周练习的次数"},
    {"按键", "本周按键的次数"},
    {"正确率", "本周按对的百分比"},
    {"速度", "本周各次练习结束时速度的中位数，每分钟按键数"},
    {"正确率变化", "本周正确率比上周高或低多少个百分点"},
    {"速度变化", "本周速度中位数比上周快或慢多少"},
    {"最弱字母", "本周正确率最低的字母（至少练过 5 次、错过至少 1 次），最弱的在前"},
    {"最常按错", "本周最常见的错误：出现的字母→按成的键"},
    {"最近练习", "最近一次练习开始的时间"},
};
static_assert(std::size(columns) == ClassTableModel::ColumnCount);

const QString none = QStringLiteral("—");
// A true minus sign, as a change is printed.
const QString minus = QStringLiteral("\u2212");

QString signedFigure(double value, int decimals, const QString &unit)
{
    const double rounded = std::round(value * std::pow(10, decimals)) / std::pow(10, decimals);
    const QString sign = rounded > 0 ? QStringLiteral("+") : rounded < 0 ? minus : QString();
    return sign + QString::number(std::abs(rounded), 'f', decimals) + unit;
}

QString duration(double seconds)
{
    const qint64 minutes = std::llround(seconds / 60);
    if (minutes < 60)
        return QStringLiteral("%1 分钟").arg(minutes);
    return QStringLiteral("%1 小时 %2 分").arg(minutes / 60).arg(minutes % 60);
}

std::optional<double> change(const std::optional<double> &now, const std::optional<double> &before)
{
    if (!now || !before)
        return std::nullopt;
    return *now - *before;
}

} // namespace

ClassTableModel::ClassTableModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void ClassTableModel::setPupils(std::vector<PupilRow> pupils)
{
    beginResetModel();
    m_pupils = std::move(pupils);
    endResetModel();
}

int ClassTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_pupils.size());
}

int ClassTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ClassTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const PupilRow &row = pupil(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return text(row, index.column());
    case SortRole:
        return sortValue(row, index.column());
    case Qt::TextAlignmentRole:
        return index.column() >= PracticeTime && index.column() <= SpeedChange
            ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
            : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::AccessibleTextRole:
        // A screen reader says which figure a cell is, not only the figure.
        return QStringLiteral("%1：%2").arg(QString::fromUtf8(columns[index.column()].title),
                                            text(row, index.column()));
    default:
        return {};
    }
}

QVariant ClassTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return QString::fromUtf8(columns[section].title);
    case Qt::ToolTipRole:
    case Qt::AccessibleDescriptionRole:
        return QString::fromUtf8(columns[section].description);
    default:
        return {};
    }
}

QString ClassTableModel::text(const PupilRow &pupil, int column) const
{
    const WeekFigures &week = pupil.thisWeek;
    switch (column) {
    case StudentNumber:
        return QString::fromStdString(pupil.studentNumber);
    case Name:
        return QString::fromStdString(pupil.name);
    case PracticeTime:
        return week.runs ? duration(week.practiceSeconds) : none;
    case Runs:
        return QString::number(week.runs);
    case Keys:
        return QString::number(week.keys);
    case Accuracy:
        return week.accuracy() ? QString::number(*week.accuracy(), 'f', 1) + QStringLiteral(" %")
                               : none;
    case MedianSpeed:
        return week.medianSpeed ? QStringLiteral("%1 字/分").arg(std::llround(*week.medianSpeed))
                                : none;
    case AccuracyChange:
        if (const auto value = change(week.accuracy(), pupil.lastWeek.accuracy()))
            return signedFigure(*value, 1, QStringLiteral(" %"));
        return none;
    case SpeedChange:
        if (const auto value = change(week.medianSpeed, pupil.lastWeek.medianSpeed))
            return signedFigure(*value, 0, QStringLiteral(" 字/分"));
        return none;
    case WeakestLetters: {
        QStringList letters;
        for (const char letter : pupil.weakestLetters)
            letters.append(QChar(letter));
        return letters.isEmpty() ? none : letters.join(' ');
    }
    case Confusion:
        return pupil.confusedLetter ? QStringLiteral("%1→%2").arg(QChar(pupil.confusedLetter),
                                                                  keyName(pupil.confusedKeyCode))
                                    : none;
    case LastPractised:
        return pupil.lastStarted
            ? QDateTime::fromMSecsSinceEpoch(std::llround(*pupil.lastStarted * 1000))
                  .toLocalTime()
                  .toString(QStringLiteral("yyyy-MM-dd HH:mm"))
            : none;
    default:
        return {};
    }
}

QVariant ClassTableModel::sortValue(const PupilRow &pupil, int column) const
{
    const WeekFigures &week = pupil.thisWeek;
    // An invalid QVariant sorts after every value (in ascending order): pupils without a figure
    // come after those with one.
    const auto optional = [](const std::optional<double> &value) {
        return value ? QVariant(*value) : QVariant();
    };
    switch (column) {
    case PracticeTime:
        return week.practiceSeconds;
    case Runs:
        return week.runs;
    case Keys:
        return qint64(week.keys);
    case Accuracy:
        return optional(week.accuracy());
    case MedianSpeed:
        return optional(week.medianSpeed);
    case AccuracyChange:
        return optional(change(week.accuracy(), pupil.lastWeek.accuracy()));
    case SpeedChange:
        return optional(change(week.medianSpeed, pupil.lastWeek.medianSpeed));
    case Confusion:
        return qint64(pupil.confusedCount);
    case LastPractised:
        return optional(pupil.lastStarted);
    default:
        return text(pupil, column);
    }
}
