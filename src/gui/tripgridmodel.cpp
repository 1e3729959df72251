#include "gui/tripgridmodel.h"

#include "common/datetexts.h"
#include "common/gridcolumns.h"
#include "common/vb.h"
#include "gui/icons.h"

#include <QColor>

namespace zelvano::gui {

// Internal ids: 0 for a trip row, trip index + 1 for its children.
TripGridModel::TripGridModel(TripGrid &grid, QObject *parent)
    : QAbstractItemModel(parent), m_grid(&grid)
{
    m_columnCount = int(grid.columns().size());
    listen();
}

TripGridModel::~TripGridModel()
{
    m_grid->setChangeListener({});
    m_grid->setRefreshListener({});
}

void TripGridModel::setGrid(TripGrid &grid)
{
    beginResetModel();
    m_grid->setChangeListener({});
    m_grid->setRefreshListener({});
    m_grid = &grid;
    listen();
    endResetModel();
    m_columnCount = int(m_grid->columns().size());
    emit columnsReset();
}

void TripGridModel::listen()
{
    m_grid->setChangeListener([this] {
        beginResetModel();
        endResetModel();
        const int columns = int(m_grid->columns().size());
        if (columns != m_columnCount) {
            m_columnCount = columns;
            emit columnsReset();
        }
    });
    m_grid->setRefreshListener([this] {
        emit layoutAboutToBeChanged();
        emit layoutChanged();
    });
}

QModelIndex TripGridModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column < 0 || column >= columnCount() || row < 0)
        return {};
    if (!parent.isValid()) {
        if (row >= m_grid->rowCount())
            return {};
        return createIndex(row, column, quintptr(0));
    }
    if (parent.internalId() != 0 || row >= m_grid->childCount(parent.row()))
        return {};
    return createIndex(row, column, quintptr(parent.row() + 1));
}

QModelIndex TripGridModel::parent(const QModelIndex &child) const
{
    if (!child.isValid() || child.internalId() == 0)
        return {};
    return createIndex(int(child.internalId() - 1), 0, quintptr(0));
}

int TripGridModel::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return m_grid->rowCount();
    if (parent.internalId() != 0 || parent.column() != 0 || parent.row() >= m_grid->rowCount())
        return 0;
    return m_grid->childCount(parent.row());
}

int TripGridModel::columnCount(const QModelIndex &) const
{
    return int(m_grid->columns().size());
}

const TripGrid::Row *TripGridModel::rowOf(const QModelIndex &index) const
{
    if (!index.isValid())
        return nullptr;
    if (index.internalId() == 0)
        return index.row() < m_grid->rowCount() ? &m_grid->row(index.row()) : nullptr;
    const int trip = int(index.internalId() - 1);
    if (trip >= m_grid->rowCount() || index.row() >= m_grid->childCount(trip))
        return nullptr;
    return &m_grid->child(trip, index.row());
}

QString TripGridModel::cellText(const QVariant &value)
{
    if (value.typeId() == QMetaType::QTime)
        return DateTexts::time(value.toTime());
    return vb::joinText(value);
}

QString TripGridModel::shownText(const TripGrid::Row &row, int column, bool child)
{
    if (column < 0 || size_t(column) >= row.cells.size())
        return QString();
    const QString text = cellText(row.cells[size_t(column)].value);
    if (child && column == UnloadCell::Gps && text.trimmed() == QLatin1String(","))
        return QString();
    return text;
}

QVariant TripGridModel::data(const QModelIndex &index, int role) const
{
    const TripGrid::Row *row = rowOf(index);
    if (!row || index.column() >= int(row->cells.size()))
        return {};
    const TripGrid::Cell &cell = row->cells.at(size_t(index.column()));
    switch (role) {
    case Qt::DisplayRole:
        return shownText(*row, index.column(), index.internalId() != 0);
    case Qt::ToolTipRole: {
        // The whole value, for a column too narrow to show it.
        const QString text = shownText(*row, index.column(), index.internalId() != 0);
        return text.isEmpty() ? QVariant() : QVariant(text);
    }
    case Qt::BackgroundRole:
        if (cell.background == TripGrid::kNoBackground)
            return {};
        return QColor(int((cell.background >> 16) & 0xFF), int((cell.background >> 8) & 0xFF),
                      int(cell.background & 0xFF));
    case Qt::DecorationRole:
        if (cell.icon == TripGrid::kNoIcon)
            return {};
        return gridIcon(cell.icon);
    case Qt::TextAlignmentRole: {
        const auto &columns = m_grid->columns();
        const bool right = index.column() < int(columns.size()) &&
                           columns[size_t(index.column())].align == TripGrid::Align::Right;
        return int((right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    }
    default:
        return {};
    }
}

QVariant TripGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    const auto &columns = m_grid->columns();
    if (orientation != Qt::Horizontal || section < 0 || section >= int(columns.size()))
        return {};
    if (role == Qt::DisplayRole)
        return columns[size_t(section)].caption;
    if (role == Qt::TextAlignmentRole)
        return int((columns[size_t(section)].align == TripGrid::Align::Right ? Qt::AlignRight
                                                                             : Qt::AlignLeft) |
                   Qt::AlignVCenter);
    return {};
}

} // namespace zelvano::gui
