#pragma once

#include "common/error.h"

#include <QDate>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace zelvano {

// The two-level trip grid: columns, trip rows, and under each trip its load and
// unload rows. Cells are addressed by column index and hold a value, a
// background colour and an icon number. The window shows it through a Qt
// item model; the download fills it, the save reads it.
class TripGrid
{
public:
    enum class Align { Left, Right };

    struct Column
    {
        int index = 0;
        QString caption;
        int width = 0;
        Align align = Align::Left;
        bool visible = true;
        bool tree = false;
    };

    static constexpr int kNoIcon = -1;
    static constexpr int kStoredIcon = 1;   // cell 0 of a trip already stored
    static constexpr int kGpsIcon = 7;      // unload with a position
    static constexpr int kNoGpsIcon = 8;    // unload without one
    static constexpr uint32_t kNoBackground = 0xFFFFFFFFu;
    static constexpr uint32_t kLoadBackground = 0xC0FFC0;   // red 192, green 255, blue 192
    static constexpr uint32_t kUnloadBackground = 0xFFFFC0; // red 255, green 255, blue 192

    struct Cell
    {
        QVariant value = QString();
        uint32_t background = kNoBackground; // 0xRRGGBB
        int icon = kNoIcon;
    };

    struct Row
    {
        std::vector<Cell> cells;
        std::vector<Row> children;
        // A trip the answer contradicts (one of its rows twice with different
        // values): why the save must leave it out. Empty for a sound trip.
        QString fault;

        const QVariant &value(int column) const { return cells.at(size_t(column)).value; }
        QString text(int column) const;
    };

    // What the download that filled the grid asked for: the new trips only, or
    // the trips of a range of dates (an invalid first date is the picker left
    // empty). Unknown until a download sets it; the print-out states it.
    struct Selection
    {
        bool known = false;
        bool newTripsOnly = true;
        QDate from;
        QDate to;
    };
    void setSelection(const Selection &selection) { m_selection = selection; }
    const Selection &selection() const { return m_selection; }

    // Why the download that filled the grid did not end well (none when it did):
    // the rows are then not all the server holds, and a print-out would pass
    // a part for the whole.
    void setFailure(const std::optional<AppError> &failure) { m_failure = failure; }
    const std::optional<AppError> &failure() const { return m_failure; }

    // Structure
    void clearColumns();
    void clearRows();
    void addColumn(Column column);
    const std::vector<Column> &columns() const { return m_columns; }

    // Rows: new rows get one empty cell per column.
    int addRow();                       // top-level row, returns its index
    int addChild(int row);              // child of a top-level row, returns child index
    void removeRow(int row);
    int rowCount() const { return int(m_rows->size()); }
    int childCount(int row) const { return int(m_rows->at(size_t(row)).children.size()); }
    const Row &row(int row) const { return m_rows->at(size_t(row)); }
    const Row &child(int row, int child) const;
    const std::vector<Row> &rows() const { return *m_rows; }
    // The rows as they are now, unchanged by whatever is done to the grid
    // later: the grid copies its rows only when it is changed while a
    // snapshot is held.
    std::shared_ptr<const std::vector<Row>> snapshot() const { return m_rows; }

    void setValue(int row, int column, const QVariant &value);
    void setChildValue(int row, int child, int column, const QVariant &value);
    void setChildBackground(int row, int child, uint32_t rgb); // every cell of the child
    void setChildIcon(int row, int child, int column, int icon);
    void setIcon(int row, int column, int icon);
    void setFault(int row, const QString &fault);

    // Let the view repaint; the window installs the listener.
    void refresh();
    void setRefreshListener(std::function<void()> listener) { m_listener = std::move(listener); }

    // Raised on every structural change (columns or rows cleared, rows added or
    // removed), so that a view can reset its model before the next paint.
    void setChangeListener(std::function<void()> listener) { m_changeListener = std::move(listener); }

private:
    Row makeRow() const;
    void changed();
    std::vector<Row> &mutableRows();

    std::vector<Column> m_columns;
    Selection m_selection;
    std::optional<AppError> m_failure;
    std::shared_ptr<std::vector<Row>> m_rows = std::make_shared<std::vector<Row>>();
    std::function<void()> m_listener;
    std::function<void()> m_changeListener;
};

} // namespace zelvano
