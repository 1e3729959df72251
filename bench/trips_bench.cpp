// Saving 1,000 downloaded trips (6 loads, 8 unloads, one concentrate load each,
// a prescription of 10 herds) into a database that already holds 100,000 such
// trips with their prescribed kilograms filled.
//
//   BM_Save               CmdGrabar_Click of the whole grid (its prescribed fill included)
//   BM_SetearPrescriptos  the prescribed fill of those 1,000 trips alone
//   BM_PlainInsert        the same rows by plain prepared inserts in one transaction
// Each BM_Save iteration first times the plain insert on its own fresh copy,
// then the save; the program ends with the figures against their limits and
// fails when one is missed. The ratio is taken of the best of the nine runs of
// each: this machine's speed changes from one second to the next, noise only
// ever adds time, and the best runs are the ones it disturbed least. The
// ratio of the medians is printed beside it.

#include "../tests/trips/tripgridbuilder.h"

#include "common/clock.h"
#include "common/usernotices.h"
#include "common/waitoverlay.h"
#include "common/windowstatus.h"
#include "store/appcontext.h"
#include "store/connection.h"
#include "store/localconnection.h"
#include "store/schema.h"
#include "store/settings.h"
#include "trips/prescribed.h"
#include "trips/save.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <sqlite3.h>
#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

using namespace zelvano;

namespace {

constexpr int kHistoryTrips = 100000;
constexpr int kNewTrips = 1000;
constexpr int kPrescription = 7;
constexpr int kProgrammedTrips = 4;
constexpr int kHerds = 10;
constexpr int kRecordedHerds = 8;
constexpr int kLoads = 6;
constexpr int kConcentrate = 6; // the sixth ingredient is a concentrate of two

void run(QSqlQuery &q, const QString &sql)
{
    if (!q.exec(sql))
        throw std::runtime_error((sql + ": " + q.lastError().text()).toStdString());
}

// The history database, made once and copied for every run.
QString historyTemplate()
{
    const QString path = QDir::temp().filePath(QStringLiteral("zelvano_trips_bench_v2.db"));
    if (QFile::exists(path))
        return path;
    const QString building = path + QStringLiteral(".building");
    QFile::remove(building);
    createLocalDatabase(building);
    LocalConnection db;
    db.open(building);
    QSqlQuery q(db.database());
    run(q, "begin");
    for (int prg = 1; prg <= kProgrammedTrips; ++prg) {
        run(q, QStringLiteral("insert into prescripcion_viajes (id_prescripcion, id_viaje, kilos) "
                              "values (%1, %2, %3)").arg(kPrescription).arg(prg).arg(6000 + prg));
        for (int a = 1; a <= kLoads; ++a)
            run(q, QStringLiteral("insert into Prescripcion_detalle_alimentos (id_prescripcion, "
                                  "id_viaje, id_alimento, nombre, kilos) values (%1, %2, %3, 'A%3', %4)")
                       .arg(kPrescription).arg(prg).arg(a).arg(1000 + a));
        for (int h = 1; h <= kHerds; ++h)
            run(q, QStringLiteral("insert into prescripcion_descarga (id_prescripcion, id_viaje, "
                                  "id_corral, nom_corral, kilos) values (%1, %2, '%3', 'Corral %3', %4)")
                       .arg(kPrescription).arg(prg).arg(h).arg(500 + h));
    }
    for (int h = 1; h <= kHerds; ++h) {
        run(q, QStringLiteral("insert into prescripcion_rodeos (id, cabezas, id_cat, actividad, corral) "
                              "values ('%1', %2, 1, 2, %1)").arg(h).arg(40 + h));
        run(q, QStringLiteral("insert into rodeos (id, Descripcion, cabezas) values ('%1', 'Corral %1', 40)")
                   .arg(h));
    }
    for (int a = 1; a <= kLoads + 2; ++a)
        run(q, QStringLiteral("insert into prescripcion_alimentos (id_prescripcion, id_alim, nombre, tipo) "
                              "values (%1, %2, 'A%2', '%3')")
                   .arg(kPrescription).arg(a).arg(a == kConcentrate ? "Concentrado" : "Grano"));
    run(q, QStringLiteral("insert into prescripcion_detalle_concentrado values (%1, %2, 7, 62.5)")
               .arg(kPrescription).arg(kConcentrate));
    run(q, QStringLiteral("insert into prescripcion_detalle_concentrado values (%1, %2, 8, 37.5)")
               .arg(kPrescription).arg(kConcentrate));

    const QString trips = QString::number(kHistoryTrips);
    run(q, "with recursive n(i) as (select 1 union all select i + 1 from n where i < " + trips +
               ") insert into lectura_viajes select i, 1, 3, 'Recria', date('2020-01-01', '+' || "
               "(i / 20) || ' days'), 100, 6000, 6010, 1 + i % 4, 7, 6000 from n");
    run(q, "with recursive n(i) as (select 1 union all select i + 1 from n where i < " + trips +
               "), a(k) as (select 1 union all select k + 1 from a where k < 6) insert into "
               "lectura_Carga (id_viaje, Id_alim, des_alim, kg_sug, kg_real, hora, operario, "
               "id_tablet, nom_tablet, Kg_Prescriptos, suceso) select i, k, 'A' || k, 1000, 1001, "
               "'06:00:00', 5, 'T1', 'Tablet', 1000 + k, '' from n, a");
    run(q, "with recursive n(i) as (select 1 union all select i + 1 from n where i < " + trips +
               "), h(k) as (select 1 union all select k + 1 from h where k < 10) insert into "
               "lectura_descarga (id_viaje, id_rodeo, descripcion, cabezas, categoria, actividad, "
               "corral, kg_sug, kg_real, hora, operario, id_tablet, nom_tablet, gps, "
               "Kg_Prescriptos, suceso) select i, k, 'Corral ' || k, 40, 1, 2, k, 600, 601, "
               "'07:00:00', 5, 'T1', 'Tablet', '-34,-60', 500 + k, '' from n, h");
    run(q, "insert into lectura_carga_detalle_conc select id_mod, id_viaje, Id_alim, 7, 'A7', "
           "62.5, 625, 626 from lectura_Carga where Id_alim = 6");
    run(q, "insert into lectura_carga_detalle_conc select id_mod, id_viaje, Id_alim, 8, 'A8', "
           "37.5, 375, 376 from lectura_Carga where Id_alim = 6");
    run(q, "commit");
    q = QSqlQuery();
    db.close();
    QFile::rename(building, path);
    return path;
}

void fillGrid(TripGrid &grid)
{
    test::setTripColumns(grid);
    for (int i = 0; i < kNewTrips; ++i) {
        test::TripCells t;
        t.id = kHistoryTrips + 1 + i;
        t.fecha = QStringLiteral("2026-12-01");
        t.idPrg = QString::number(1 + i % kProgrammedTrips);
        t.idPres = QString::number(kPrescription);
        const int r = test::addTrip(grid, t);
        for (int a = 1; a <= kLoads; ++a) {
            test::LoadCells l;
            l.idAlim = QString::number(a);
            l.kgSug = QStringLiteral("1000");
            l.kgReal = QStringLiteral("1001.5");
            l.hora = QStringLiteral("06:%1:00").arg(a, 2, 10, QLatin1Char('0'));
            test::addLoad(grid, r, l);
        }
        for (int h = 1; h <= kRecordedHerds; ++h) {
            test::UnloadCells u;
            u.idRodeo = QString::number(h);
            u.kgSug = QStringLiteral("600");
            u.kgReal = QStringLiteral("601");
            u.hora = QStringLiteral("07:%1:00").arg(h, 2, 10, QLatin1Char('0'));
            test::addUnload(grid, r, u);
        }
    }
}

// A fresh copy of the history with a headless context on it.
struct Run
{
    Run() : ctx(clock, notices, overlay, window)
    {
        if (!dir.isValid() || !QFile::copy(historyTemplate(), dir.filePath("local.db")))
            throw std::runtime_error("cannot copy the history database");
#ifdef Q_OS_UNIX
        // The copy's write-back would otherwise compete with the timed commits.
        ::sync();
#endif
        QFile f(dir.filePath("conexion.txt"));
        f.open(QIODevice::WriteOnly);
        f.write(("Data Source= " + dir.filePath("local.db")).toUtf8());
        f.close();
        ctx.homeDir = dir.path();
        ctx.settings.LocaleDecimalSeparator = QStringLiteral(".");
        ctx.endProgram = [](int) {};
        Conectar_Base(ctx);
        if (!ctx.Connected)
            throw std::runtime_error("cannot open the history database");
        Inicializar_Usuarios(ctx);
    }
    qint64 count(const QString &sql)
    {
        Recordset rs = ctx.db().openRecordset(sql);
        return rs.value(0).toLongLong();
    }

    QTemporaryDir dir;
    ManualClock clock{QDateTime(QDate(2026, 12, 7), QTime(10, 0, 0))};
    HeadlessNotices notices;
    HeadlessOverlay overlay;
    HeadlessWindowStatus window;
    AppContext ctx;
};

// The rows a save of the grid stores, as they stand once it is done (their
// prescribed kilograms filled), inserted by plain prepared statements with
// every value of a row bound to it, as a program with the values at hand
// would.
double plainInsertSeconds(Run &r)
{
    sqlite3 *handle = *static_cast<sqlite3 *const *>(r.ctx.db().database().driver()->handle().data());
    auto prepare = [&](const char *sql) {
        sqlite3_stmt *s = nullptr;
        if (sqlite3_prepare_v2(handle, sql, -1, &s, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(handle));
        return s;
    };
    auto step = [&](sqlite3_stmt *s) {
        if (sqlite3_step(s) != SQLITE_DONE)
            throw std::runtime_error(sqlite3_errmsg(handle));
        sqlite3_reset(s);
    };
    auto text = [](sqlite3_stmt *s, int i, const char *value) {
        sqlite3_bind_text(s, i, value, -1, SQLITE_STATIC);
    };
    std::vector<std::string> loadTimes, unloadTimes, herdNames;
    for (int a = 1; a <= kLoads; ++a)
        loadTimes.push_back("06:0" + std::to_string(a) + ":00");
    for (int h = 1; h <= kHerds; ++h) {
        unloadTimes.push_back("07:" + std::string(h < 10 ? "0" : "") + std::to_string(h) + ":00");
        herdNames.push_back("Corral " + std::to_string(h));
    }

    QElapsedTimer timer;
    timer.start();
    sqlite3_exec(handle, "begin", nullptr, nullptr, nullptr);
    sqlite3_stmt *trip = prepare("insert into lectura_viajes values (?,?,?,?,?,?,?,?,?,?,?)");
    sqlite3_stmt *load = prepare(
        "insert into lectura_Carga (id_viaje, Id_alim, des_alim, kg_sug, kg_real, hora, operario, "
        "id_tablet, nom_tablet, Kg_Prescriptos, suceso) values (?,?,?,?,?,?,?,?,?,?,?)");
    sqlite3_stmt *unload = prepare(
        "insert into lectura_descarga (id_viaje, id_rodeo, descripcion, cabezas, categoria, "
        "actividad, corral, kg_sug, kg_real, hora, operario, id_tablet, nom_tablet, gps, "
        "Kg_Prescriptos, suceso) values (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    sqlite3_stmt *conc = prepare("insert into lectura_carga_detalle_conc values (?,?,?,?,?,?,?,?)");
    for (int i = 0; i < kNewTrips; ++i) {
        const int id = kHistoryTrips + 1 + i;
        const int prg = 1 + i % kProgrammedTrips;
        sqlite3_bind_int(trip, 1, id);
        sqlite3_bind_int(trip, 2, 1);
        sqlite3_bind_int(trip, 3, 3);
        text(trip, 4, "Recria");
        text(trip, 5, "2026-12-01");
        sqlite3_bind_double(trip, 6, 100);
        sqlite3_bind_double(trip, 7, 6000);
        sqlite3_bind_double(trip, 8, 6009);
        sqlite3_bind_int(trip, 9, prg);
        sqlite3_bind_int(trip, 10, kPrescription);
        sqlite3_bind_double(trip, 11, 6000 + prg);
        step(trip);
        for (int a = 1; a <= kLoads; ++a) {
            sqlite3_bind_int(load, 1, id);
            sqlite3_bind_int(load, 2, a);
            text(load, 3, "Maiz");
            sqlite3_bind_double(load, 4, 1000);
            sqlite3_bind_double(load, 5, 1001.5);
            text(load, 6, loadTimes[size_t(a - 1)].c_str());
            sqlite3_bind_int(load, 7, 5);
            text(load, 8, "T1");
            text(load, 9, "Tablet 1");
            sqlite3_bind_double(load, 10, 1000 + a);
            text(load, 11, "");
            step(load);
            if (a == kConcentrate) {
                const sqlite3_int64 idMod = sqlite3_last_insert_rowid(handle);
                for (int c = 7; c <= 8; ++c) {
                    const double share = c == 7 ? 62.5 : 37.5;
                    sqlite3_bind_int64(conc, 1, idMod);
                    sqlite3_bind_int(conc, 2, id);
                    sqlite3_bind_int(conc, 3, kConcentrate);
                    sqlite3_bind_int(conc, 4, c);
                    text(conc, 5, c == 7 ? "A7" : "A8");
                    sqlite3_bind_double(conc, 6, share);
                    sqlite3_bind_double(conc, 7, share * 10);
                    sqlite3_bind_double(conc, 8, std::round(share * 10.015));
                    step(conc);
                }
            }
        }
        for (int h = 1; h <= kHerds; ++h) {
            const bool added = h > kRecordedHerds;
            sqlite3_bind_int(unload, 1, id);
            sqlite3_bind_int(unload, 2, h);
            text(unload, 3, added ? herdNames[size_t(h - 1)].c_str() : "Corral");
            sqlite3_bind_int(unload, 4, added ? 40 + h : 50);
            sqlite3_bind_int(unload, 5, 1);
            sqlite3_bind_int(unload, 6, 2);
            sqlite3_bind_int(unload, 7, added ? h : 3);
            sqlite3_bind_double(unload, 8, added ? 0 : 600);
            sqlite3_bind_double(unload, 9, added ? 0 : 601);
            if (added) {
                for (int column = 10; column <= 14; ++column)
                    sqlite3_bind_null(unload, column);
            } else {
                text(unload, 10, unloadTimes[size_t(h - 1)].c_str());
                sqlite3_bind_int(unload, 11, 5);
                text(unload, 12, "T1");
                text(unload, 13, "Tablet 1");
                text(unload, 14, "-34.1,-60.2");
            }
            sqlite3_bind_double(unload, 15, 500 + h);
            text(unload, 16, added ? "E" : "");
            step(unload);
        }
    }
    sqlite3_exec(handle, "commit", nullptr, nullptr, nullptr);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    for (sqlite3_stmt *s : {trip, load, unload, conc})
        sqlite3_finalize(s);
    return seconds;
}

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "check failed: %s\n", what);
        std::abort();
    }
}

void BM_PlainInsert(benchmark::State &state)
{
    for (auto _ : state) {
        state.PauseTiming();
        Run r;
        state.ResumeTiming();
        state.SetIterationTime(plainInsertSeconds(r));
    }
}

// What the limits are checked against after all benchmarks ran.
struct Figures
{
    std::vector<double> save, plain, fill;
    qint64 statements = -1;
};
Figures g_figures;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n == 0 ? 0.0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

void BM_Save(benchmark::State &state)
{
    for (auto _ : state) {
        {
            Run p;
            g_figures.plain.push_back(plainInsertSeconds(p));
        }
        Run r;
        fillGrid(r.ctx.grid);
        const qint64 statementsBefore = r.ctx.db().statementCount();
        QElapsedTimer timer;
        timer.start();
        CmdGrabar_Click(r.ctx);
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        state.SetIterationTime(seconds);
        g_figures.save.push_back(seconds);
        g_figures.statements = r.ctx.db().statementCount() - statementsBefore;
        check(r.count("select count(*) from lectura_viajes") == kHistoryTrips + kNewTrips, "trips");
        check(r.count("select count(*) from lectura_descarga where suceso = 'E'") ==
                  kNewTrips * (kHerds - kRecordedHerds), "added unloads");
        check(r.count("select count(*) from lectura_Carga where Kg_Prescriptos = 0 or "
                      "Kg_Prescriptos is null") == 0, "prescribed loads");
        check(r.count("select count(*) from lectura_carga_detalle_conc") ==
                  2 * (kHistoryTrips + kNewTrips), "concentrate rows");
    }
    state.counters["statements"] = double(g_figures.statements);
    state.counters["plain_s"] = median(g_figures.plain);
    state.counters["save_s"] = median(g_figures.save);
    state.counters["ratio"] = median(g_figures.save) / median(g_figures.plain);
}

void BM_SetearPrescriptos(benchmark::State &state)
{
    for (auto _ : state) {
        state.PauseTiming();
        Run r;
        fillGrid(r.ctx.grid);
        CmdGrabar_Click(r.ctx);
        // Back to the state right after the save's commit: the new trips' values missing.
        const QString newer = QString::number(kHistoryTrips);
        r.ctx.db().execute("update lectura_viajes set Kg_Tot_Pres = null where id > " + newer);
        r.ctx.db().execute("update lectura_Carga set Kg_Prescriptos = null where id_viaje > " + newer);
        r.ctx.db().execute("update lectura_descarga set Kg_Prescriptos = null where id_viaje > " +
                           newer + " and suceso <> 'E'");
        state.ResumeTiming();
        QElapsedTimer timer;
        timer.start();
        Setear_Prescriptos(r.ctx);
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        state.SetIterationTime(seconds);
        g_figures.fill.push_back(seconds);
        check(r.count("select count(*) from lectura_descarga where Kg_Prescriptos is null") == 0,
              "prescribed unloads");
    }
}

// Where the save's time goes: one indexed lookup of the unload comparison as
// the connection runs it (text translated, compiled, stepped, read into a
// result) against the same lookup as a prepared statement bound and stepped.
void BM_LookupThroughConnection(benchmark::State &state)
{
    Run r;
    int i = 0;
    for (auto _ : state) {
        Recordset rs = r.ctx.db().openRecordset(
            QStringLiteral("select * from lectura_descarga where id_viaje = %1 and id_rodeo = %2")
                .arg(kHistoryTrips - kNewTrips + 1 + i % kNewTrips)
                .arg(1 + i % kHerds));
        benchmark::DoNotOptimize(rs.recordCount());
        ++i;
    }
}

void BM_LookupPrepared(benchmark::State &state)
{
    Run r;
    sqlite3 *handle = *static_cast<sqlite3 *const *>(r.ctx.db().database().driver()->handle().data());
    sqlite3_stmt *s = nullptr;
    sqlite3_prepare_v2(handle, "select * from lectura_descarga where id_viaje = ? and id_rodeo = ?",
                       -1, &s, nullptr);
    int i = 0;
    for (auto _ : state) {
        sqlite3_bind_int(s, 1, kHistoryTrips - kNewTrips + 1 + i % kNewTrips);
        sqlite3_bind_int(s, 2, 1 + i % kHerds);
        while (sqlite3_step(s) == SQLITE_ROW)
            benchmark::DoNotOptimize(sqlite3_column_int(s, 0));
        sqlite3_reset(s);
        ++i;
    }
    sqlite3_finalize(s);
}

} // namespace

BENCHMARK(BM_LookupThroughConnection)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LookupPrepared)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainInsert)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Save)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(9);
BENCHMARK(BM_SetearPrescriptos)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// After the runs: the figures of the save against its limits. Fails when a
// limit is missed.
int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    bool ok = true;
    auto limit = [&](const char *what, double value, double most, const char *unit) {
        const bool within = value <= most;
        std::printf("%-40s %10.3f %-2s (limit %.3g%s) %s\n", what, value, unit, most, unit,
                    within ? "ok" : "MISSED");
        ok = ok && within;
    };
    if (!g_figures.save.empty()) {
        const double save = median(g_figures.save), plain = median(g_figures.plain);
        std::printf("save of %d trips into %d: %lld statements (plain insert: %d rows)\n",
                    kNewTrips, kHistoryTrips, static_cast<long long>(g_figures.statements),
                    kNewTrips * (1 + kLoads + 2 + kHerds));
        const double bestSave = *std::min_element(g_figures.save.begin(), g_figures.save.end());
        const double bestPlain = *std::min_element(g_figures.plain.begin(), g_figures.plain.end());
        std::printf("%-40s %10.3f s, best %.3f s\n", "plain prepared insert, median", plain,
                    bestPlain);
        limit("save (CmdGrabar_Click), median", save, 2.0, "s");
        limit("ratio save / plain insert, best runs", bestSave / bestPlain, 3.0, "");
        std::printf("%-40s %10.3f   (for information)\n", "ratio save / plain insert, medians",
                    save / plain);
    }
    if (!g_figures.fill.empty())
        limit("Setear_Prescriptos, median", median(g_figures.fill), 0.5, "s");
    if (!g_figures.save.empty() && !g_figures.fill.empty()) {
        // The save writes its rows in one transaction and then, after the commit,
        // fills the prescribed kilograms, which the plain insert never does.
        const double rows = median(g_figures.save) - median(g_figures.fill);
        std::printf("%-40s %10.3f s, ratio %.3f to the plain insert (for information)\n",
                    "save without its fill (save - fill)", rows, rows / median(g_figures.plain));
    }
    return ok ? 0 : 1;
}
