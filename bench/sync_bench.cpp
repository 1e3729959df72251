// One production upload in WEB mode of 2,000 pending readings with 30 herds
// each, against the server of scripts/services (ZELVANO_WEB_PORT, default
// 8080). Prints the time and the remote statements by kind: the upload must
// stay at one header insert, one read of the new server ids and one detail
// insert, whatever the number of readings.
#include "common/clock.h"
#include "common/usernotices.h"
#include "common/waitoverlay.h"
#include "common/windowstatus.h"
#include "remote/odbc.h"
#include "remote/remote.h"
#include "remote/webrequest.h"
#include "store/appcontext.h"
#include "store/localconnection.h"
#include "store/schema.h"
#include "sync/sync.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>

using namespace zelvano;

namespace {

constexpr int kReadings = 2000;
constexpr int kHerds = 30;
constexpr int kClient = 4242;
const QString kPassword = QStringLiteral("banco");

QString webHost()
{
    const QByteArray port = qgetenv("ZELVANO_WEB_PORT");
    return QStringLiteral("127.0.0.1:") +
           (port.isEmpty() ? QStringLiteral("8080") : QString::fromLatin1(port));
}

// The farm on the server, registered and without production rows.
bool resetFarm(QString *error)
{
    try {
        WebRequest web;
        web.open(webUrl(webHost()));
        const QStringList statements{
            QStringLiteral(
                "replace into clientes (id, password, nombre) values (%1, '%2', 'Banco')")
                .arg(kClient)
                .arg(kPassword),
            QStringLiteral("delete from detalle_cabezas_produccion where id in (select id from "
                           "cabezas_produccion where cliente = %1)")
                .arg(kClient),
            QStringLiteral("delete from cabezas_produccion where cliente = %1").arg(kClient)};
        for (const QString &sql : statements) {
            const WebAnswer answer = web.send(sql);
            if (answer.status != 200) {
                *error = answer.text;
                return false;
            }
        }
        return true;
    } catch (const AppError &e) {
        *error = QStringLiteral("server not reachable (scripts/services start): ") + e.text();
        return false;
    }
}

void addPendingReadings(const QString &path)
{
    LocalConnection db;
    db.open(path);
    db.beginTrans();
    TableWriter header = db.openTable(QStringLiteral("Produccion_Lactea"));
    TableWriter detail = db.openTable(QStringLiteral("detalle_Produccion_Lactea"));
    for (int r = 0; r < kReadings; ++r) {
        header.addNew();
        const QVariant id = header.value(0);
        header.setValue(1, QDate(2026, 1, 1).addDays(r / 2));
        header.setValue(2, QStringLiteral("Zelvano"));
        header.setValue(3, r % 2 ? QStringLiteral("Dairycomp") : QStringLiteral("Delpro"));
        header.setValue(4, 40 * kHerds);
        header.setValue(5, 812 * kHerds);
        header.setValue(6, false);
        header.setValue(7, QStringLiteral("AGREGAR"));
        header.update();
        for (int h = 0; h < kHerds; ++h) {
            detail.addNew();
            detail.setValue(0, id);
            detail.setValue(1, QString::number(h + 1));
            detail.setValue(2, 40.0);
            detail.setValue(3, 812.5 + h);
            detail.update();
        }
    }
    db.commitTrans();
}

int countStarting(const QStringList &statements, const QString &start)
{
    int n = 0;
    for (const QString &sql : statements)
        n += sql.startsWith(start) ? 1 : 0;
    return n;
}

void BM_UploadPendingReadings(benchmark::State &state)
{
    ManualClock clock(QDateTime(QDate(2026, 12, 7), QTime(10, 0, 0)));
    HeadlessNotices notices;
    HeadlessOverlay overlay;
    HeadlessWindowStatus window;
    QTemporaryDir dir;
    for (auto _ : state) {
        state.PauseTiming();
        QString error;
        if (!resetFarm(&error)) {
            state.SkipWithError(error.toUtf8().constData());
            return;
        }
        const QString path = dir.filePath(QStringLiteral("bench.db"));
        QFile::remove(path);
        createLocalDatabase(path);
        addPendingReadings(path);
        AppContext ctx(clock, notices, overlay, window);
        ctx.connection = std::make_unique<LocalConnection>();
        ctx.connection->open(path);
        ctx.Connected = true;
        ctx.settings.ClientId = QString::number(kClient);
        ctx.settings.ClientPassword = kPassword;
        ctx.settings.ServerHost = webHost();
        ctx.settings.RemoteMode = QStringLiteral("WEB");
        QElapsedTimer timer;
        state.ResumeTiming();

        timer.start();
        const SyncReport report = Sincronizar_CabProd(ctx, false);
        const double seconds = timer.nsecsElapsed() / 1e9;

        state.PauseTiming();
        const QStringList &sent = report.remoteStatements;
        const int headerInserts =
            countStarting(sent, QStringLiteral("INSERT INTO cabezas_produccion "));
        const int idReads =
            countStarting(sent, QStringLiteral("select id, id_prg from cabezas_produccion "));
        const int detailInserts =
            countStarting(sent, QStringLiteral("INSERT INTO detalle_cabezas_produccion "));
        const qlonglong synced = [&] {
            Recordset rs = ctx.connection->openRecordset(QStringLiteral(
                "select count(*) from Produccion_Lactea where actualizado = true and "
                "id_remoto is not null"));
            return rs.value(0).toLongLong();
        }();
        std::printf("upload of %d readings x %d herds: %.3f s; remote statements %lld "
                    "(header inserts %d, id reads %d, detail inserts %d); detail rows sent %d; "
                    "readings synchronised %lld\n",
                    kReadings, kHerds, seconds, qlonglong(sent.size()), headerInserts, idReads,
                    detailInserts, report.detailsSent, synced);
        state.counters["seconds"] = seconds;
        state.counters["remote_statements"] = double(sent.size());
        state.counters["header_inserts"] = headerInserts;
        state.counters["id_reads"] = idReads;
        state.counters["detail_inserts"] = detailInserts;
        if (headerInserts != 1 || idReads != 1 || detailInserts != 1 ||
            report.detailsSent != kReadings * kHerds || synced != kReadings)
            state.SkipWithError("the upload did not send everything in one statement of each kind");
        if (seconds >= 5.0)
            state.SkipWithError("the upload took 5 s or more");
        ctx.connection->close();
        state.ResumeTiming();
    }
}

BENCHMARK(BM_UploadPendingReadings)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
