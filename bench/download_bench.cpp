// Trip download in the WEB way against the reference server (scripts/services
// start): 1,000 trips of 6 loads and 8 unloads, compared with a plain loop that
// sends the same 2,002 statements with the same HTTP client and discards the
// answers. Prints both times, their ratio (expected <= 1.25) and the peak
// memory of the process (expected < 150 MB); exits 1 when either is exceeded.
//
//   ZELVANO_WEB_PORT (default 8080) names the WEB peer's port.

#include "common/clock.h"
#include "common/tripgrid.h"
#include "common/usernotices.h"
#include "common/waitoverlay.h"
#include "common/windowstatus.h"
#include "download/download.h"
#include "remote/odbc.h"
#include "remote/remote.h"
#include "remote/webrequest.h"
#include "store/appcontext.h"
#include "store/connection.h"
#include "store/schema.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <limits>

namespace zelvano {
namespace {

constexpr int kTrips = 1000;
constexpr int kLoads = 6;
constexpr int kUnloads = 8;

QString webHost()
{
    const QByteArray port = qgetenv("ZELVANO_WEB_PORT");
    return QStringLiteral("127.0.0.1:") + (port.isEmpty() ? QStringLiteral("8080")
                                                          : QString::fromLatin1(port));
}

void sendAll(WebRequest &web, const QStringList &statements)
{
    for (const QString &sql : statements) {
        const WebAnswer a = web.send(sql);
        if (a.status != 200) {
            std::fprintf(stderr, "seeding failed: %s\n", a.text.toUtf8().constData());
            std::exit(2);
        }
    }
}

// Replaces the server's rows with client 12 and the benchmark's trips.
void seedServer()
{
    WebRequest web;
    web.open(webUrl(webHost()));
    sendAll(web, {QStringLiteral("delete from clientes"),
                  QStringLiteral("delete from lectura_viajes_feed"),
                  QStringLiteral("delete from lectura_carga_feed"),
                  QStringLiteral("delete from lectura_descarga_feed"),
                  QStringLiteral("insert into clientes values (12, 'secreto', 'Bench')")});
    QStringList trips, loads, unloads, batch;
    for (int t = 1; t <= kTrips; ++t) {
        trips << QStringLiteral("(12, %1, %2, %3, 'Receta %3', '2024-03-01', 240, 4800.00, "
                                "4795.50, 17, '%4')")
                     .arg(t).arg(1 + t % 3).arg(1 + t % 9).arg(t % 40);
        for (int l = 0; l < kLoads; ++l)
            loads << QStringLiteral("(%1, %2, 'Ingrediente %2', 0, 800.00, 799.50, "
                                    "'06:%3:00', '%4', 'TAB-01', 'Mixer 1', '')")
                         .arg(t).arg(10 + l).arg(10 + l, 2, 10, QLatin1Char('0')).arg(1 + l % 6);
        for (int u = 0; u < kUnloads; ++u)
            unloads << QStringLiteral("(%1, %2, 'Corral %2', 30, 2, 1, %2, 600.00, 599.25, "
                                      "'07:%3:00', '%4', 'TAB-01', 'Mixer 1', '%5', '')")
                           .arg(t).arg(100 + u).arg(10 + u, 2, 10, QLatin1Char('0'))
                           .arg(1 + u % 6)
                           .arg(u % 3 == 0 ? QStringLiteral(",")
                                           : QStringLiteral("-31.4%1,-64.1%1").arg(u));
        if (t % 100 == 0) {
            batch << QStringLiteral("insert into lectura_viajes_feed values ") + trips.join(',')
                  << QStringLiteral("insert into lectura_carga_feed (id_viaje, id_alim, "
                                    "des_alim, cantidad, kg_sug, kg_real, hora, operario, "
                                    "id_tablet, nom_tablet, suceso) values ") + loads.join(',')
                  << QStringLiteral("insert into lectura_descarga_feed (id_viaje, id_rodeo, "
                                    "nom_rodeo, cabezas, categoria, actividad, corral, kg_sug, "
                                    "kg_real, hora, operario, id_tablet, nom_tablet, gps, "
                                    "suceso) values ") + unloads.join(',');
            trips.clear();
            loads.clear();
            unloads.clear();
        }
    }
    sendAll(web, batch);
}

struct Home
{
    Home() : ctx(clock, notices, overlay, window)
    {
        createLocalDatabase(dir.filePath(QStringLiteral("local.db")));
        QFile f(dir.filePath(QStringLiteral("conexion.txt")));
        f.open(QIODevice::WriteOnly);
        f.write(("Data Source= " + dir.filePath(QStringLiteral("local.db"))).toUtf8());
        f.close();
        ctx.homeDir = dir.path();
        ctx.endProgram = [](int) {};
        Conectar_Base(ctx);
        for (int i = 1; i <= 5; ++i)
            ctx.db().execute(QStringLiteral("insert into usuario (id, apellido, nombre) values "
                                            "(%1, 'Operario', 'Nro %1')").arg(i));
        ctx.settings.ClientId = QStringLiteral("12");
        ctx.settings.ClientPassword = QStringLiteral("secreto");
        ctx.settings.RemoteMode = QStringLiteral("WEB");
        ctx.settings.ServerHost = webHost();
        ctx.newTripsOnly = true;
    }

    QTemporaryDir dir;
    SystemClock clock;
    HeadlessNotices notices;
    HeadlessOverlay overlay;
    HeadlessWindowStatus window;
    AppContext ctx;
};

double g_download = std::numeric_limits<double>::max();
double g_loop = std::numeric_limits<double>::max();
double g_downloadHttp = 0;

double seconds(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

QStringList plainStatements(AppContext &ctx)
{
    QStringList statements;
    statements << authenticationSql(ctx.settings) << tripStatement(ctx);
    for (int t = 1; t <= kTrips; ++t)
        statements << loadsStatement(QString::number(t)) << unloadsStatement(QString::number(t));
    return statements;
}

double plainLoop(const QString &host, const QStringList &statements)
{
    const auto start = std::chrono::steady_clock::now();
    WebRequest web(RemoteOptions::tripDownload());
    web.open(webUrl(host));
    qsizetype bytes = 0;
    for (const QString &sql : statements)
        bytes += web.send(sql).text.size();
    benchmark::DoNotOptimize(bytes);
    return seconds(start);
}

// Each iteration is one download followed by the plain loop, so that both see
// the same load on a shared machine; the best of each is compared.
void BM_DownloadAgainstPlainLoop(benchmark::State &state)
{
    Home home;
    const QStringList statements = plainStatements(home.ctx);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const DownloadOutcome outcome = CmdDescargar_Click(home.ctx);
        const double download = seconds(start);
        if (home.ctx.grid.rowCount() != kTrips ||
            home.ctx.grid.childCount(kTrips - 1) != kLoads + kUnloads) {
            state.SkipWithError("the download did not bring every trip");
            return;
        }
        g_downloadHttp = outcome.remoteSeconds;
        const double loop = plainLoop(home.ctx.settings.ServerHost, statements);
        g_download = std::min(g_download, download);
        g_loop = std::min(g_loop, loop);
        state.counters["download_s"] = download;
        state.counters["loop_s"] = loop;
    }
    state.counters["statements"] = double(statements.size());
}

BENCHMARK(BM_DownloadAgainstPlainLoop)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

} // namespace
} // namespace zelvano

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    zelvano::seedServer();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double peakMb = double(usage.ru_maxrss) / 1024.0;
    const double ratio = zelvano::g_download / zelvano::g_loop;
    std::printf("time in HTTP exchanges during the last download: %.3f s\n",
                zelvano::g_downloadHttp);
    std::printf("download %.3f s, plain loop %.3f s, ratio %.3f (limit 1.25); peak memory "
                "%.1f MB (limit 150)\n",
                zelvano::g_download, zelvano::g_loop, ratio, peakMb);
    return ratio <= 1.25 && peakMb < 150 ? 0 : 1;
}
