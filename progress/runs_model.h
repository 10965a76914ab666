#pragma once

#include "progress_data.h"

#include <QAbstractTableModel>

// The runs, one row each, in the order of the history; a sorting proxy shows them newest first.
// Values sort numerically through sortRole.
class RunsModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    static constexpr int sortRole = Qt::UserRole;

    using QAbstractTableModel::QAbstractTableModel;

    // Changes only the rows that differ and appends new runs, so views keep their sort order and
    // scroll position; a history that lost runs is shown afresh.
    void setRows(const QList<RunListRow> &rows);
    const RunListRow &row(int row) const { return m_rows.at(row); }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QList<RunListRow> m_rows;
};
