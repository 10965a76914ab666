#pragma once

#include "class_report.h"

#include <QAbstractTableModel>

// The teacher's class table: one row per pupil, their week and its change since the last. Each
// cell's display text is as a teacher reads it ("93.5 %", "+3.5 %", "R→P"); its SortRole value is
// the number behind it, so that columns sort as numbers.
class ClassTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column {
        StudentNumber,
        Name,
        PracticeTime,
        Runs,
        Keys,
        Accuracy,
        MedianSpeed,
        AccuracyChange,
        SpeedChange,
        WeakestLetters,
        Confusion,
        LastPractised,
        ColumnCount
    };
    static constexpr int SortRole = Qt::UserRole;

    explicit ClassTableModel(QObject *parent = nullptr);

    void setPupils(std::vector<PupilRow> pupils);
    const PupilRow &pupil(int row) const { return m_pupils.at(std::size_t(row)); }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QString text(const PupilRow &pupil, int column) const;
    QVariant sortValue(const PupilRow &pupil, int column) const;

    std::vector<PupilRow> m_pupils;
};
