// `zelvano status` on a large farm: 100,000 trips, 100,000 events (few of
// them errors, so the search for the last five goes far back) and 10,000
// readings. A monitoring check runs it every few minutes; it should take a
// small part of a second, in-process and as the whole command.
#include "cli/status.h"
#include "store/schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>

using namespace zelvano;

namespace {

void fill(const QString &path)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    const char *sql =
        "begin;"
        "with recursive n(i) as (select 1 union all select i + 1 from n where i < 100000) "
        "insert into lectura_viajes (id, Turno, id_receta, des_receta, fecha, cab_tot, kg_tot_sug, "
        "kg_tot_real, id_prg, id_pres, Kg_Tot_Pres) select i, 1, 7, 'Engorde', "
        "date('2024-01-01', '+' || (i / 100) || ' days'), 30, 9999, 9999, 2, 7, 9999 from n;"
        "with recursive n(i) as (select 1 union all select i + 1 from n where i < 100000) "
        "insert into sucesos (fecha, descripcion) select date('2024-01-01', '+' || (i / 100) || "
        "' days'), case when i = 10 then 'Error 5 (viejo)' else 'Finalizo la descarga de datos "
        "Web exitosamente a las 10:00:00' end from n;"
        "with recursive n(i) as (select 1 union all select i + 1 from n where i < 10000) "
        "insert into Produccion_Lactea (fecha, usuario, turno, total_cabezas, total_litros, "
        "actualizado, proceso, id_remoto) select date('2024-01-01', '+' || (i / 10) || ' days'), "
        "'Tambo', 'M', 10, 100, case when i > 9990 then 0 else -1 end, 'AGREGAR', i from n;"
        "commit;";
    char *error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "filling the database failed: %s\n", error);
        std::exit(2);
    }
    sqlite3_close(db);
}

struct Farm
{
    QTemporaryDir dir;
    Farm()
    {
        const QString db = dir.filePath(QStringLiteral("local.db"));
        createLocalDatabase(db);
        fill(db);
        QFile conexion(dir.filePath(QStringLiteral("conexion.txt")));
        conexion.open(QIODevice::WriteOnly);
        conexion.write("Data Source= " + QDir::toNativeSeparators(db).toUtf8() + "\r\n");
    }
};

Farm *g_farm = nullptr;

void BM_StatusInProcess(benchmark::State &state)
{
    for (auto _ : state) {
        const StatusReport report = readStatus(g_farm->dir.path(), QDateTime::currentDateTime());
        benchmark::DoNotOptimize(statusText(report));
        benchmark::DoNotOptimize(statusJson(report));
    }
}

BENCHMARK(BM_StatusInProcess)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Farm farm;
    g_farm = &farm;

    // The right answer first: a fast wrong status is worth nothing.
    const StatusReport report = readStatus(farm.dir.path(), QDateTime::currentDateTime());
    if (!report.databaseError.isEmpty() || report.newestTrip != 100000 ||
        report.pending.total != 10 || report.lastErrors.size() != 1) {
        std::fprintf(stderr, "wrong status:\n%s", qPrintable(statusText(report)));
        return 2;
    }

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();

    // The whole command as a monitoring check starts it, best of five.
    qint64 best = std::numeric_limits<qint64>::max();
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer clock;
        clock.start();
        QProcess p;
        p.start(QStringLiteral(ZELVANO_EXECUTABLE), {"--home", farm.dir.path(), "status"});
        if (!p.waitForFinished(60000) || p.exitCode() != 0) {
            std::fprintf(stderr, "zelvano status failed: %s\n", p.readAllStandardError().constData());
            return 2;
        }
        best = std::min(best, clock.elapsed());
    }
    std::printf("zelvano status on 100,000 trips: %lld ms, best of 5 (limit 1000 ms)\n",
                static_cast<long long>(best));
    benchmark::Shutdown();
    return best < 1000 ? 0 : 1;
}
