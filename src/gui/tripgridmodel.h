#pragma once

#include "common/tripgrid.h"

#include <QAbstractItemModel>

namespace zelvano::gui {

// The trip grid as a two-level Qt model: trips at the top, their loads and
// unloads below. It reads the grid live and resets on every structural change.
class TripGridModel final : public QAbstractItemModel
{
    Q_OBJECT
public:
    explicit TripGridModel(TripGrid &grid, QObject *parent = nullptr);
    ~TripGridModel() override;

    // Shows another grid from now on (the one it showed is left alone).
    void setGrid(TripGrid &grid);
    const TripGrid &grid() const { return *m_grid; }

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The text a cell shows: dates day-first, times "HH:mm:ss", Null as nothing.
    static QString cellText(const QVariant &value);
    // The same for a cell of a row, where a position of "," (the tablet had
    // none) shows as nothing.
    static QString shownText(const TripGrid::Row &row, int column, bool child);

signals:
    // The columns changed: the view applies widths and visibility again.
    void columnsReset();

private:
    const TripGrid::Row *rowOf(const QModelIndex &index) const;

    void listen();

    TripGrid *m_grid;
    int m_columnCount = 0;
};

} // namespace zelvano::gui
