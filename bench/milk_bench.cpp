// Imports a Delpro export of 5,000 groups into a local database of 200 herds
// (25 group codes each) with a pit diet: the reading, 200 herd lines, the
// totals and a pit trip of 5,000 unloads; by the reader alone, and by a whole
// scan of the folder (finished-file checks, the file's hash, the bookkeeping
// committed with the reading, the rename).
#include "common/clock.h"
#include "common/usernotices.h"
#include "common/waitoverlay.h"
#include "common/windowstatus.h"
#include "milk/csvreader.h"
#include "milk/import.h"
#include "store/appcontext.h"
#include "store/localconnection.h"
#include "store/programtables.h"
#include "store/schema.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>

#include <map>
#include <memory>
#include <string>

using namespace zelvano;

namespace {

constexpr int kHerds = 200;
constexpr int kGroups = 5000;
constexpr double kLimitMs = 1000; // one file of 5,000 groups with its pit trip

// The mean wall time of one import, per benchmark that has the limit.
std::map<std::string, double> g_meanMs;

struct Dairy
{
    Dairy() : clock(QDateTime(QDate(2026, 3, 12), QTime(6, 5, 9))), ctx(clock, notices, overlay, window)
    {
        const QString db = dir.filePath("local.db");
        createLocalDatabase(db);
        ctx.connection = std::make_unique<LocalConnection>();
        ctx.connection->open(db);
        ensureProgramTables(*ctx.connection);
        ctx.Connected = true;
        LocalConnection &c = *ctx.connection;
        c.beginTrans();
        for (int h = 1; h <= kHerds; ++h) {
            QStringList codes;
            for (int g = h; g <= kGroups; g += kHerds)
                codes << QStringLiteral("G%1").arg(g);
            c.execute(QStringLiteral("insert into rodeos values ('%1', 1, 'Rodeo %1', 0, '%2', 0, "
                                     "null, null, 2, %1)")
                          .arg(h)
                          .arg(codes.join(u',')));
        }
        c.execute("insert into dietas values (9, 'Fosa', true)");
        c.execute("insert into prescripcion_viajes values (30, 2, 'Racion fosa', 0, '06:30', '1', '9')");
        c.execute("insert into Prescripcion_detalle_alimentos values (30, 2, 501, 'Balanceado', 0)");
        c.commitTrans();

        settings().ImportSoftware = "delpro";
        settings().ImportFileName = "ordene";
        settings().CsvSplitMark = ";";
        settings().CsvDecimalSeparator = ",";
        settings().LocaleDecimalSeparator = ",";

        QByteArray text = "Grupo;Nombre;Vacas;Litros;Promedio;Fosa\r\n";
        for (int g = 1; g <= kGroups; ++g)
            text += QStringLiteral("G%1;Grupo %1;%2;%3,5;21,4;%4,2\r\n")
                        .arg(g)
                        .arg(20 + g % 40)
                        .arg(400 + g % 900)
                        .arg(30 + g % 60)
                        .toLatin1();
        path = dir.filePath("ordene_20260312.csv");
        content = text;
        writeFile();
        settings().ImportFolder = dir.path();
    }

    // The export, finished a minute before the clock's now, and seen so by
    // an earlier look of the scan.
    void writeFile()
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(content);
        file.close();
        if (!file.open(QIODevice::ReadWrite) ||
            !file.setFileTime(clock.now().addSecs(-60), QFileDevice::FileModificationTime))
            std::abort();
        file.close();
        FileLooks::ofProcess().seen(path, FileStamp::of(path), clock.monotonicMs() - kSettleMs);
    }

    Settings &settings() { return ctx.settings; }

    QTemporaryDir dir;
    ManualClock clock;
    RecordingNotices notices;
    HeadlessOverlay overlay;
    HeadlessWindowStatus window;
    AppContext ctx;
    QString path;
    QByteArray content;
};

void BM_ImportDelpro5000Groups(benchmark::State &state)
{
    Dairy dairy;
    LocalConnection &db = *dairy.ctx.connection;
    qint64 statements = 0;
    size_t groups = 0;
    qint64 totalMs = 0;
    for (auto _ : state) {
        const qint64 before = db.statementCount();
        QElapsedTimer timer;
        timer.start();
        groups = LeerDatos_CSV(dairy.ctx, dairy.path, "ordene_20260312.csv").groups.size();
        totalMs += timer.elapsed();
        statements = db.statementCount() - before;
    }
    g_meanMs["reader"] = double(totalMs) / double(state.iterations());
    if (!dairy.notices.notices().empty() || groups != size_t(kGroups))
        state.SkipWithError("the import did not run cleanly");
    state.counters["statements"] = double(statements);
    state.counters["groups"] = kGroups;
}
BENCHMARK(BM_ImportDelpro5000Groups)->Unit(benchmark::kMillisecond)->Iterations(5);

// The reading alone (no pit diet): what storing the groups costs.
void BM_ImportDelpro5000GroupsWithoutPit(benchmark::State &state)
{
    Dairy dairy;
    LocalConnection &db = *dairy.ctx.connection;
    db.execute("delete from dietas");
    qint64 statements = 0;
    for (auto _ : state) {
        const qint64 before = db.statementCount();
        LeerDatos_CSV(dairy.ctx, dairy.path, "ordene_20260312.csv");
        statements = db.statementCount() - before;
    }
    state.counters["statements"] = double(statements);
}
BENCHMARK(BM_ImportDelpro5000GroupsWithoutPit)->Unit(benchmark::kMillisecond)->Iterations(5);

// The same file through a scan of its folder: read once, committed with its
// record, renamed.
void BM_ScanDelpro5000Groups(benchmark::State &state)
{
    Dairy dairy;
    LocalConnection &db = *dairy.ctx.connection;
    qint64 statements = 0;
    size_t files = 0;
    qint64 totalMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        dairy.clock.advanceSeconds(60); // each export a new one
        dairy.writeFile();
        state.ResumeTiming();
        const qint64 before = db.statementCount();
        QElapsedTimer timer;
        timer.start();
        files = Abrir(dairy.ctx).files.size();
        totalMs += timer.elapsed();
        statements = db.statementCount() - before;
    }
    g_meanMs["scan"] = double(totalMs) / double(state.iterations());
    if (files != 1)
        state.SkipWithError("the scan did not read the file");
    state.counters["statements"] = double(statements);
}
BENCHMARK(BM_ScanDelpro5000Groups)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    int status = 0;
    for (const auto &[name, ms] : g_meanMs) {
        const bool over = ms >= kLimitMs;
        std::printf("%s: %.0f ms per file of %d groups with its pit trip (limit %.0f ms)%s\n",
                    name.c_str(), ms, kGroups, kLimitMs, over ? " - OVER THE LIMIT" : "");
        status |= over ? 1 : 0;
    }
    return status;
}
