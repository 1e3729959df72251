#include "download/download_cli.h"

#include "app/cli.h"
#include "common/datetexts.h"
#include "common/error.h"
#include "common/tripgrid.h"
#include "common/vb.h"
#include "download/download.h"
#include "store/connection.h"

#include <QTextStream>

#include <cstdio>

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

void printError(const QString &text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

qint64 lastEventId(CliEnv &env)
{
    Recordset rs = env.ctx.db().openRecordset(QStringLiteral("select max(id) from sucesos"));
    return rs.eof() || vb::isNull(rs.value(0)) ? 0 : qint64(vb::toDouble(rs.value(0)));
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
        const bool stored = !trip.cells.empty() && trip.cells[0].icon == TripGrid::kStoredIcon;
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
        const bool stored = !trip.cells.empty() && trip.cells[0].icon == TripGrid::kStoredIcon;
        QStringList children;
        for (const TripGrid::Row &child : trip.children) {
            const uint32_t bg = child.cells.empty() ? TripGrid::kNoBackground
                                                    : child.cells[0].background;
            const QString background =
                bg == TripGrid::kNoBackground
                    ? QStringLiteral("null")
                    : jsonText(QStringLiteral("%1").arg(bg, 6, 16, QLatin1Char('0')).toUpper());
            const int icon = child.cells.size() > 14 ? child.cells[14].icon : TripGrid::kNoIcon;
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

int cmdDownload(CliEnv &env, const QStringList &args)
{
    const QString usage =
        QStringLiteral("usage: zelvano download [--from dd/MM/yyyy --to dd/MM/yyyy] [--json]");
    bool asJson = false;
    QString from, to;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        if (a == QLatin1String("--json")) {
            asJson = true;
        } else if ((a == QLatin1String("--from") || a == QLatin1String("--to")) &&
                   i + 1 < args.size()) {
            (a == QLatin1String("--from") ? from : to) = args.at(++i);
        } else {
            printError(usage);
            return 2;
        }
    }
    if (from.isEmpty() != to.isEmpty()) {
        printError(usage);
        return 2;
    }
    if (!from.isEmpty()) {
        const QDate d1 = DateTexts::parseDate(from), d2 = DateTexts::parseDate(to);
        if (!d1.isValid() || !d2.isValid()) {
            printError(QStringLiteral("download: dates are written dd/MM/yyyy"));
            return 2;
        }
        env.ctx.newTripsOnly = false;
        env.ctx.DTdesde = d1;
        env.ctx.DThasta = d2;
    }
    if (!env.connect())
        return 1;

    int status = 0;
    try {
        const qint64 before = lastEventId(env);
        CmdDescargar_Click(env.ctx);
        Recordset rs = env.ctx.db().openRecordset(
            QStringLiteral("select descripcion from sucesos where id > %1 order by id").arg(before));
        for (; !rs.eof(); rs.moveNext()) {
            const QString event = vb::joinText(rs.value(0));
            printError(event);
            if (event.contains(QLatin1String(" en procedimiento CmdDescargar_Click ")))
                status = 1;
        }
    } catch (const AppError &e) {
        printError(e.text());
        status = 1;
    }
    QTextStream out(stdout);
    out << (asJson ? tripGridJson(env.ctx.grid) : tripGridText(env.ctx.grid));
    out.flush();
    closeLocalConnection(env.ctx);
    return status;
}

} // namespace zelvano
