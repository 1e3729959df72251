// One production upload in WEB mode of 2,000 pending readings with 30 herds
// each, against the server of scripts/services (ZELVANO_WEB_PORT, default
// 8080). Prints the time and the remote statements by kind: the upload must
// stay at one header insert, two reads of the headers without details (before
// and after the insert) and one detail insert, whatever the number of readings.
#include "common/clock.h"
#include "common/usernotices.h"
#include "common/waitoverlay.h"
#include "common/windowstatus.h"
#include "remote/odbc.h"
#include "remote/remote.h"
#include "remote/webrequest.h"
#include "store/appcontext.h"
#include "store/localconnection.h"
#include "store/tables.h"
#include "store/programtables.h"
#include "store/schema.h"
#include "sync/statements.h"
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
        const QVariant id = header.value(ProduccionLactea::Id);
        header.setValue(ProduccionLactea::Fecha, QDate(2026, 1, 1).addDays(r / 2));
        header.setValue(ProduccionLactea::Usuario, QStringLiteral("Zelvano"));
        header.setValue(ProduccionLactea::Turno, r % 2 ? QStringLiteral("Dairycomp") : QStringLiteral("Delpro"));
        header.setValue(ProduccionLactea::TotalCabezas, 40 * kHerds);
        header.setValue(ProduccionLactea::TotalLitros, 812 * kHerds);
        header.setValue(ProduccionLactea::Actualizado, false);
        header.setValue(ProduccionLactea::Proceso, QStringLiteral("AGREGAR"));
        header.update();
        for (int h = 0; h < kHerds; ++h) {
            detail.addNew();
            detail.setValue(DetalleProduccionLactea::Id, id);
            detail.setValue(DetalleProduccionLactea::Rodeo, QString::number(h + 1));
            detail.setValue(DetalleProduccionLactea::Cabezas, 40.0);
            detail.setValue(DetalleProduccionLactea::Litros, 812.5 + h);
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

struct Upload
{
    double seconds = 0;
    int statements = 0;
    int headerInserts = 0;
    int unsentReads = 0;
    int detailInserts = 0;
    int detailsSent = 0;
    qlonglong synced = 0; // readings marked sent with their server id
};

Upload upload(AppContext &ctx, const char *what)
{
    QElapsedTimer timer;
    timer.start();
    const SyncReport report = Sincronizar_CabProd(ctx, false);
    Upload u;
    u.seconds = timer.nsecsElapsed() / 1e9;
    const QStringList &sent = report.remoteStatements;
    u.statements = int(sent.size());
    u.headerInserts = countStarting(sent, QStringLiteral("INSERT INTO cabezas_produccion "));
    u.unsentReads = int(sent.count(syncsql::unsentHeadersSql(QString::number(kClient))));
    u.detailInserts =
        countStarting(sent, QStringLiteral("INSERT INTO detalle_cabezas_produccion "));
    u.detailsSent = report.detailsSent;
    Recordset rs = ctx.connection->openRecordset(
        QStringLiteral("select count(*) from Produccion_Lactea where actualizado = true and "
                       "id_remoto is not null"));
    u.synced = rs.value(0).toLongLong();
    std::printf("%s of %d readings x %d herds: %.3f s; remote statements %d (header inserts %d, "
                "reads of headers without details %d, detail inserts %d); detail rows sent %d; "
                "readings synchronised %lld\n",
                what, kReadings, kHerds, u.seconds, u.statements, u.headerInserts, u.unsentReads,
                u.detailInserts, u.detailsSent, u.synced);
    return u;
}

// The server's header count of the farm, or -1.
int serverHeaders()
{
    WebRequest web;
    web.open(webUrl(webHost()));
    const WebAnswer answer =
        web.send(QStringLiteral("select count(*) as n from cabezas_produccion where cliente = %1")
                     .arg(kClient));
    const qsizetype at = answer.text.indexOf(QStringLiteral("\"n\":\""));
    return at < 0 ? -1 : answer.text.mid(at + 5).section(u'"', 0, 0).toInt();
}

// The first upload; then the same upload again as after a run whose header
// insert ran but whose answer was lost (the headers on the server, no reading
// knowing its id, no details): the readings find their headers by their
// values and nothing is inserted twice.
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
        ensureProgramTables(*ctx.connection);
        ctx.Connected = true;
        ctx.settings.ClientId = QString::number(kClient);
        ctx.settings.ClientPassword = kPassword;
        ctx.settings.ServerHost = webHost();
        ctx.settings.RemoteMode = QStringLiteral("WEB");
        state.ResumeTiming();

        const Upload first = upload(ctx, "upload");

        state.PauseTiming();
        state.counters["seconds"] = first.seconds;
        state.counters["remote_statements"] = first.statements;
        state.counters["header_inserts"] = first.headerInserts;
        state.counters["unsent_reads"] = first.unsentReads;
        state.counters["detail_inserts"] = first.detailInserts;
        if (first.headerInserts != 1 || first.unsentReads != 2 || first.detailInserts != 1 ||
            first.statements != 7 || first.detailsSent != kReadings * kHerds ||
            first.synced != kReadings)
            state.SkipWithError("the upload did not send everything in one statement of each kind");
        if (first.seconds >= 5.0)
            state.SkipWithError("the upload took 5 s or more");

        WebRequest web;
        web.open(webUrl(webHost()));
        web.send(QStringLiteral("delete from detalle_cabezas_produccion where id in (select id "
                                "from cabezas_produccion where cliente = %1)")
                     .arg(kClient));
        ctx.connection->execute(
            QStringLiteral("update Produccion_Lactea set id_remoto = null, actualizado = false"));
        const Upload again = upload(ctx, "upload after a lost insert answer");
        const int headers = serverHeaders();
        std::printf("server headers after both: %d\n", headers);
        state.counters["again_seconds"] = again.seconds;
        if (again.headerInserts != 0 || again.unsentReads != 2 || again.detailInserts != 1 ||
            again.statements != 6 || again.detailsSent != kReadings * kHerds ||
            again.synced != kReadings || headers != kReadings)
            state.SkipWithError("the upload after a lost answer did not converge in one run");
        if (again.seconds >= 5.0)
            state.SkipWithError("the upload after a lost answer took 5 s or more");
        ctx.connection->close();
        state.ResumeTiming();
    }
}

BENCHMARK(BM_UploadPendingReadings)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
