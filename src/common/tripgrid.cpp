#include "common/tripgrid.h"

#include "common/vb.h"

namespace zelvano {

QString TripGrid::Row::text(int column) const
{
    return vb::joinText(value(column));
}

void TripGrid::clearColumns()
{
    m_columns.clear();
    changed();
}

std::vector<TripGrid::Row> &TripGrid::mutableRows()
{
    if (m_rows.use_count() > 1)
        m_rows = std::make_shared<std::vector<Row>>(*m_rows);
    return *m_rows;
}

void TripGrid::clearRows()
{
    m_rows = std::make_shared<std::vector<Row>>();
    changed();
}

void TripGrid::addColumn(Column column)
{
    m_columns.push_back(std::move(column));
    changed();
}

TripGrid::Row TripGrid::makeRow() const
{
    Row r;
    r.cells.resize(m_columns.size());
    return r;
}

int TripGrid::addRow()
{
    mutableRows().push_back(makeRow());
    changed();
    return int(m_rows->size()) - 1;
}

int TripGrid::addChild(int row)
{
    auto &children = mutableRows().at(size_t(row)).children;
    children.push_back(makeRow());
    changed();
    return int(children.size()) - 1;
}

void TripGrid::removeRow(int row)
{
    std::vector<Row> &rows = mutableRows();
    rows.erase(rows.begin() + row);
    changed();
}

const TripGrid::Row &TripGrid::child(int row, int child) const
{
    return m_rows->at(size_t(row)).children.at(size_t(child));
}

void TripGrid::setValue(int row, int column, const QVariant &value)
{
    mutableRows().at(size_t(row)).cells.at(size_t(column)).value = value;
}

void TripGrid::setChildValue(int row, int child, int column, const QVariant &value)
{
    mutableRows().at(size_t(row)).children.at(size_t(child)).cells.at(size_t(column)).value = value;
}

void TripGrid::setChildBackground(int row, int child, uint32_t rgb)
{
    for (auto &cell : mutableRows().at(size_t(row)).children.at(size_t(child)).cells)
        cell.background = rgb;
}

void TripGrid::setChildIcon(int row, int child, int column, int icon)
{
    mutableRows().at(size_t(row)).children.at(size_t(child)).cells.at(size_t(column)).icon = icon;
}

void TripGrid::setIcon(int row, int column, int icon)
{
    mutableRows().at(size_t(row)).cells.at(size_t(column)).icon = icon;
}

void TripGrid::setFault(int row, const QString &fault)
{
    mutableRows().at(size_t(row)).fault = fault;
}

void TripGrid::refresh()
{
    if (m_listener)
        m_listener();
}

void TripGrid::changed()
{
    if (m_changeListener)
        m_changeListener();
}

} // namespace zelvano
