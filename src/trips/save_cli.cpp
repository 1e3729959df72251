#include "trips/save_cli.h"

#include "app/cli.h"
#include "common/datetexts.h"
#include "common/error.h"
#include "download/download.h"
#include "store/connection.h"
#include "trips/save.h"

#include <QTextStream>

#include <cstdio>

namespace zelvano {

namespace {

// Row counts of the trip tables; the added prescribed unloads are the rows the
// comparison writes: suceso "E" and no tablet.
struct StoredCounts
{
    qint64 trips = 0;
    qint64 loads = 0;
    qint64 unloads = 0;
    qint64 addedUnloads = 0;
    qint64 concentrate = 0;
    qint64 events = 0;
    qint64 lastEvent = 0;
};

qint64 scalar(LocalConnection &db, const QString &sql)
{
    Recordset rs = db.openRecordset(sql);
    return rs.eof() || !rs.value(0).isValid() ? 0 : rs.value(0).toLongLong();
}

StoredCounts countStored(LocalConnection &db)
{
    StoredCounts c;
    c.trips = scalar(db, QStringLiteral("select count(*) from lectura_viajes"));
    c.loads = scalar(db, QStringLiteral("select count(*) from lectura_Carga"));
    c.unloads = scalar(db, QStringLiteral("select count(*) from lectura_descarga"));
    c.addedUnloads = scalar(db, QStringLiteral("select count(*) from lectura_descarga where suceso = "
                                               "'E' and id_tablet is null and nom_tablet is null"));
    c.concentrate = scalar(db, QStringLiteral("select count(*) from lectura_carga_detalle_conc"));
    c.lastEvent = scalar(db, QStringLiteral("select max(id) from sucesos"));
    return c;
}

void printError(const QString &text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

// The download's own options: a date range, both ends or neither.
bool parseOptions(CliEnv &env, const QStringList &args)
{
    QString from, to;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        if ((a == QLatin1String("--from") || a == QLatin1String("--to")) && i + 1 < args.size()) {
            (a == QLatin1String("--from") ? from : to) = args.at(++i);
        } else {
            printError(QStringLiteral("usage: zelvano save [--from dd/MM/yyyy --to dd/MM/yyyy]"));
            return false;
        }
    }
    if (from.isEmpty() != to.isEmpty()) {
        printError(QStringLiteral("usage: zelvano save [--from dd/MM/yyyy --to dd/MM/yyyy]"));
        return false;
    }
    if (from.isEmpty())
        return true;
    const QDate d1 = DateTexts::parseDate(from), d2 = DateTexts::parseDate(to);
    if (!d1.isValid() || !d2.isValid()) {
        printError(QStringLiteral("save: dates are written dd/MM/yyyy"));
        return false;
    }
    env.ctx.newTripsOnly = false;
    env.ctx.DTdesde = d1;
    env.ctx.DThasta = d2;
    return true;
}

} // namespace

int cmdSave(CliEnv &env, const QStringList &args)
{
    if (!parseOptions(env, args))
        return 2;
    if (!env.connect())
        return 1;
    StoredCounts before;
    StoredCounts after;
    QStringList failures;
    try {
        before = countStored(env.ctx.db());
        CmdDescargar_Click(env.ctx);
        CmdGrabar_Click(env.ctx);
        after = countStored(env.ctx.db());
        Recordset rs = env.ctx.db().openRecordset(
            QStringLiteral("select descripcion from sucesos where id > ") +
            QString::number(before.lastEvent) + QStringLiteral(" order by id"));
        for (; !rs.eof(); rs.moveNext()) {
            const QString text = rs.value(0).toString();
            if (text.startsWith(QLatin1String("Error ")))
                failures << text;
        }
    } catch (const AppError &error) {
        printError(error.text());
        closeLocalConnection(env.ctx);
        return 1;
    }
    closeLocalConnection(env.ctx);

    QTextStream out(stdout);
    out << "downloaded trips\t" << env.ctx.grid.rowCount() << '\n'
        << "trips\t" << after.trips - before.trips << '\n'
        << "loads\t" << after.loads - before.loads << '\n'
        << "unloads\t"
        << (after.unloads - after.addedUnloads) - (before.unloads - before.addedUnloads) << '\n'
        << "added prescribed unloads\t" << after.addedUnloads - before.addedUnloads << '\n'
        << "concentrate rows\t" << after.concentrate - before.concentrate << '\n';
    out.flush();
    for (const QString &f : failures)
        printError(f);
    return failures.isEmpty() ? 0 : 1;
}

} // namespace zelvano
