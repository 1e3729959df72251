#include "cli/gridtext.h"

#include "common/gridcolumns.h"
#include "common/tripgrid.h"
#include "common/vb.h"

#include <QStringList>

namespace zelvano {

namespace {

QString cellText(const TripGrid::Row &row, int column)
{
    return vb::joinText(row.value(column));
}

QString jsonText(const QString &text)
{
    QString out;
    out.reserve(text.size() + 2);
    out += QLatin1Char('"');
    for (QChar c : text) {
        switch (c.unicode()) {
        case '"': out += QLatin1String("\\\""); break;
        case '\\': out += QLatin1String("\\\\"); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\r': out += QLatin1String("\\r"); break;
        case '\t': out += QLatin1String("\\t"); break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    out += QLatin1Char('"');
    return out;
}

QString jsonCells(const TripGrid::Row &row)
{
    QStringList cells;
    for (size_t i = 0; i < row.cells.size(); ++i)
        cells << jsonText(cellText(row, int(i)));
    return QLatin1Char('[') + cells.join(QLatin1String(", ")) + QLatin1Char(']');
}

} // namespace

QString tripGridText(const TripGrid &grid)
{
    QString text;
    QStringList captions;
    for (const TripGrid::Column &c : grid.columns())
        captions << (c.caption.isEmpty() ? QStringLiteral("-") : c.caption);
    text += QStringLiteral("  ") + captions.join(QLatin1String(" | ")) + QLatin1Char('\n');
    for (const TripGrid::Row &trip : grid.rows()) {
        const bool stored = !trip.cells.empty() && trip.cells[TripCell::Id].icon == TripGrid::kStoredIcon;
        QStringList cells;
        for (size_t i = 0; i < trip.cells.size(); ++i)
            cells << cellText(trip, int(i));
        text += (stored ? QStringLiteral("* ") : QStringLiteral("  ")) +
                cells.join(QLatin1String(" | ")) + QLatin1Char('\n');
        for (const TripGrid::Row &child : trip.children) {
            QStringList childCells;
            for (size_t i = 0; i < child.cells.size(); ++i)
                childCells << cellText(child, int(i));
            text += QStringLiteral("      ") + childCells.join(QLatin1String(" | ")) +
                    QLatin1Char('\n');
        }
    }
    text += QStringLiteral("%1 trips (* already stored)\n").arg(grid.rowCount());
    return text;
}

QString tripGridJson(const TripGrid &grid)
{
    QStringList trips;
    for (const TripGrid::Row &trip : grid.rows()) {
        const bool stored = !trip.cells.empty() && trip.cells[TripCell::Id].icon == TripGrid::kStoredIcon;
        QStringList children;
        for (const TripGrid::Row &child : trip.children) {
            const uint32_t bg = child.cells.empty() ? TripGrid::kNoBackground
                                                    : child.cells[kChildKindCell].background;
            const QString background =
                bg == TripGrid::kNoBackground
                    ? QStringLiteral("null")
                    : jsonText(QStringLiteral("%1").arg(bg, 6, 16, QLatin1Char('0')).toUpper());
            const int icon = child.cells.size() > size_t(UnloadCell::Gps) ? child.cells[UnloadCell::Gps].icon
                                                                       : TripGrid::kNoIcon;
            children << QStringLiteral("{\"cells\": %1, \"background\": %2, \"icon\": %3}")
                            .arg(jsonCells(child), background,
                                 icon == TripGrid::kNoIcon ? QStringLiteral("null")
                                                           : QString::number(icon));
        }
        trips << QStringLiteral("{\"cells\": %1, \"stored\": %2, \"children\": [%3]}")
                     .arg(jsonCells(trip), stored ? QStringLiteral("true") : QStringLiteral("false"),
                          children.join(QLatin1String(", ")));
    }
    return QLatin1Char('[') + trips.join(QLatin1String(",\n")) + QStringLiteral("]\n");
}

} // namespace zelvano
