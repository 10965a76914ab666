#pragma once

#include "progress_data.h"

#include <QAbstractTableModel>

// The 26 letters with their counts, accuracy, reaction times and the key most often pressed
// instead. Values sort numerically through sortRole.
class LetterTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    static constexpr int sortRole = Qt::UserRole;

    using QAbstractTableModel::QAbstractTableModel;

    // Updates the rows in place, so views keep their selection, sort order and scroll position.
    void setRows(const QList<LetterRow> &rows);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QList<LetterRow> m_rows;
};
