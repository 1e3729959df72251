// Adding 100,000 unload rows through the row-set path of the local connection,
// against the same rows through a plain prepared SQLite insert, both in one
// transaction on a fresh database.
#include "store/localconnection.h"
#include "store/schema.h"
#include "store/tables.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>

using namespace zelvano;

namespace {

constexpr int kRows = 100000;

QString freshDatabase(QTemporaryDir &dir, const char *name)
{
    const QString path = dir.filePath(QString::fromLatin1(name));
    QFile::remove(path);
    createLocalDatabase(path);
    return path;
}

// The values a save writes for one unload, as the texts of the grid's cells.
struct UnloadTexts
{
    QString trip, herd, name = QStringLiteral("Corral 12 Novillos"), heads, cat = QStringLiteral("3"),
                      act = QStringLiteral("2"), pen = QStringLiteral("12"), sug, real,
                      time = QStringLiteral("06:15:30"), op = QStringLiteral("17"),
                      tablet = QStringLiteral("T-04"), tabletName = QStringLiteral("Mixer norte"),
                      gps = QStringLiteral("-31.2501,-61.4902"), event = QStringLiteral("");
};

UnloadTexts row(int i)
{
    UnloadTexts r;
    r.trip = QString::number(1000 + i / 10);
    r.herd = QString::number(i % 200);
    r.heads = QString::number(40 + i % 60);
    r.sug = QString::number(800 + i % 50) + QStringLiteral(".5");
    r.real = QString::number(790 + i % 55) + QStringLiteral(".25");
    return r;
}

double rowSetSeconds(const QString &path)
{
    LocalConnection db;
    db.open(path);
    QElapsedTimer timer;
    timer.start();
    db.beginTrans();
    TableWriter w = db.openTable(QStringLiteral("lectura_descarga"));
    for (int i = 0; i < kRows; ++i) {
        const UnloadTexts r = row(i);
        w.addNew();
        w.setValue(LecturaDescarga::IdViaje, r.trip);
        w.setValue(LecturaDescarga::IdRodeo, r.herd);
        w.setValue(LecturaDescarga::Descripcion, r.name);
        w.setValue(LecturaDescarga::Cabezas, r.heads);
        w.setValue(LecturaDescarga::Categoria, r.cat);
        w.setValue(LecturaDescarga::Actividad, r.act);
        w.setValue(LecturaDescarga::Corral, r.pen);
        w.setValue(LecturaDescarga::KgSug, r.sug);
        w.setValue(LecturaDescarga::KgReal, r.real);
        w.setValue(LecturaDescarga::Hora, r.time);
        w.setValue(LecturaDescarga::Operario, r.op);
        w.setValue(LecturaDescarga::IdTablet, r.tablet);
        w.setValue(LecturaDescarga::NomTablet, r.tabletName);
        w.setValue(LecturaDescarga::Gps, r.gps);
        w.setValue(LecturaDescarga::Suceso, r.event);
        w.update();
    }
    db.commitTrans();
    return double(timer.nsecsElapsed()) / 1e9;
}

// The same rows with the values already typed, through one prepared statement.
double preparedSeconds(const QString &path)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    QElapsedTimer timer;
    timer.start();
    sqlite3_exec(db, "begin", nullptr, nullptr, nullptr);
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(db,
                       "insert into lectura_descarga (id_viaje, id_rodeo, descripcion, cabezas, "
                       "categoria, actividad, corral, kg_sug, kg_real, hora, operario, id_tablet, "
                       "nom_tablet, gps, suceso) values (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                       -1, &stmt, nullptr);
    for (int i = 0; i < kRows; ++i) {
        const UnloadTexts r = row(i);
        const QByteArray name = r.name.toUtf8(), time = r.time.toUtf8(), tablet = r.tablet.toUtf8(),
                         tabletName = r.tabletName.toUtf8(), gps = r.gps.toUtf8(), event = r.event.toUtf8();
        sqlite3_bind_int64(stmt, 1, r.trip.toLongLong());
        sqlite3_bind_int64(stmt, 2, r.herd.toLongLong());
        sqlite3_bind_text(stmt, 3, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(stmt, 4, r.heads.toLongLong());
        sqlite3_bind_int64(stmt, 5, r.cat.toLongLong());
        sqlite3_bind_int64(stmt, 6, r.act.toLongLong());
        sqlite3_bind_int64(stmt, 7, r.pen.toLongLong());
        sqlite3_bind_double(stmt, 8, r.sug.toDouble());
        sqlite3_bind_double(stmt, 9, r.real.toDouble());
        sqlite3_bind_text(stmt, 10, time.constData(), int(time.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(stmt, 11, r.op.toLongLong());
        sqlite3_bind_text(stmt, 12, tablet.constData(), int(tablet.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 13, tabletName.constData(), int(tabletName.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 14, gps.constData(), int(gps.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 15, event.constData(), int(event.size()), SQLITE_TRANSIENT);
        sqlite3_step(stmt);
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    sqlite3_exec(db, "commit", nullptr, nullptr, nullptr);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    sqlite3_close(db);
    return seconds;
}

void BM_RowSetInsert(benchmark::State &state)
{
    QTemporaryDir dir;
    for (auto _ : state) {
        const QString path = freshDatabase(dir, "rowset.db");
        state.SetIterationTime(rowSetSeconds(path));
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_PreparedInsert(benchmark::State &state)
{
    QTemporaryDir dir;
    for (auto _ : state) {
        const QString path = freshDatabase(dir, "prepared.db");
        state.SetIterationTime(preparedSeconds(path));
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

BENCHMARK(BM_RowSetInsert)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PreparedInsert)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();

    // The ratio, from the best of three runs of each.
    QTemporaryDir dir;
    double rowSet = 1e9, prepared = 1e9;
    for (int i = 0; i < 3; ++i) {
        rowSet = std::min(rowSet, rowSetSeconds(freshDatabase(dir, "r.db")));
        prepared = std::min(prepared, preparedSeconds(freshDatabase(dir, "p.db")));
    }
    std::printf("row-set path %.3f s, prepared insert %.3f s, ratio %.2f (limit 2.00)\n", rowSet,
                prepared, rowSet / prepared);
    benchmark::Shutdown();
    return rowSet / prepared <= 2.0 ? 0 : 1;
}
