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

void TripGrid::clearRows()
{
    m_rows.clear();
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
    m_rows.push_back(makeRow());
    changed();
    return int(m_rows.size()) - 1;
}

int TripGrid::addChild(int row)
{
    auto &children = m_rows.at(size_t(row)).children;
    children.push_back(makeRow());
    changed();
    return int(children.size()) - 1;
}

void TripGrid::removeRow(int row)
{
    m_rows.erase(m_rows.begin() + row);
    changed();
}

const TripGrid::Row &TripGrid::child(int row, int child) const
{
    return m_rows.at(size_t(row)).children.at(size_t(child));
}

void TripGrid::setValue(int row, int column, const QVariant &value)
{
    m_rows.at(size_t(row)).cells.at(size_t(column)).value = value;
}

void TripGrid::setChildValue(int row, int child, int column, const QVariant &value)
{
    m_rows.at(size_t(row)).children.at(size_t(child)).cells.at(size_t(column)).value = value;
}

void TripGrid::setChildBackground(int row, int child, uint32_t rgb)
{
    for (auto &cell : m_rows.at(size_t(row)).children.at(size_t(child)).cells)
        cell.background = rgb;
}

void TripGrid::setChildIcon(int row, int child, int column, int icon)
{
    m_rows.at(size_t(row)).children.at(size_t(child)).cells.at(size_t(column)).icon = icon;
}

void TripGrid::setIcon(int row, int column, int icon)
{
    m_rows.at(size_t(row)).cells.at(size_t(column)).icon = icon;
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
