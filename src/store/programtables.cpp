#include "store/programtables.h"

#include "common/error.h"
#include "store/localconnection.h"

#include <QString>

#include <cstring>
#include <vector>

namespace zelvano {

namespace {

struct ProgramTable
{
    const char *name;
    const char *definition; // in the engine's own SQL
};

// One line per table; each folder that keeps bookkeeping adds its own here.
const std::vector<ProgramTable> kProgramTables = {
    // Milk import: each file committed with its reading, pending until it has its final name.
    {"zelvano_lecturas",
     "create table zelvano_lecturas (id integer primary key autoincrement, carpeta text not null, "
     "archivo text not null, tamano integer not null, modificado integer not null, "
     "huella text not null, nombre_final text not null, id_lectura integer, "
     "pendiente integer not null, fecha text)"},
    // Milk import: the last trouble told about each file, so that it is told once.
    {"zelvano_avisos", "create table zelvano_avisos (carpeta text not null, archivo text not null, "
                       "situacion text not null, fecha text, primary key (carpeta, archivo))"},
    // Records the production synchronisation refused and named once (src/sync/refusals.h).
    {"zelvano_sync_rechazados",
     "create table zelvano_sync_rechazados (origen text not null, id integer not null, "
     "huella text not null, primary key (origen, id))"},
    // Trips the save left out because a cell does not convert, with why: the
    // refusal is logged once, and the download of new trips starts past them.
    {"zelvano_viajes_rechazados",
     "create table zelvano_viajes_rechazados (id integer primary key, motivo text)"},
    // The last run of each job, for `zelvano status` and the service's health.
    {"zelvano_jobs",
     "create table zelvano_jobs (job text primary key not null check (job in ('download', "
     "'import', 'sync')), started text not null, ended text not null, ok integer not null "
     "check (ok in (0, 1)), error_number integer, error_text text, last_success text, "
     "trips_saved integer, trips_left_out integer)"},
    // Production synchronisation: each header insert a reading went up in, with
    // the highest server id read just before it and the values sent, so that
    // the site recognises its own header after a lost answer and no other.
    {"zelvano_sync_envios",
     "create table zelvano_sync_envios (id integer not null, marca integer not null, "
     "fecha text, usuario text, turno text, cabezas text, litros text)"},
    // Production synchronisation: the lines each reading sent under a header,
    // as the server keeps them, recorded before they leave: lines found there
    // later that are an earlier state of the reading mean it was edited since.
    {"zelvano_sync_lineas",
     "create table zelvano_sync_lineas (id integer not null, remoto integer not null, "
     "lineas text not null)"},
    // Production synchronisation: other sites' headers seen without lines, and
    // since when (the server's clock), until they settle or get their lines.
    {"zelvano_sync_sin_lineas",
     "create table zelvano_sync_sin_lineas (id integer primary key, desde integer not null)"},
};

// Columns added to a program table after it was first made: a database made
// before gets them when it is next opened.
struct AddedColumn
{
    const char *table;
    const char *column;
    const char *definition;
};
const std::vector<AddedColumn> kAddedColumns = {
    {"zelvano_jobs", "trips_left_out", "trips_left_out integer"},
    // The insert's answer came back (1): it made exactly the headers it reported.
    {"zelvano_sync_envios", "respondida", "respondida integer"},
    // The header that answered insert made for the reading, when the server said.
    {"zelvano_sync_envios", "remoto", "remoto integer"},
};

bool tableExists(LocalConnection &db, const QString &name)
{
    return !db.openRecordset(QStringLiteral("select name from sqlite_master where type = 'table' "
                                            "and name = '%1' collate nocase")
                                 .arg(name))
                .eof();
}

} // namespace

std::optional<AppError> ensureProgramTables(LocalConnection &db)
{
    try {
        if (!tableExists(db, QStringLiteral("sucesos")))
            return std::nullopt;
        for (const ProgramTable &table : kProgramTables) {
            if (tableExists(db, QString::fromLatin1(table.name)))
                continue;
            db.execute(QString::fromLatin1(table.definition), {});
        }
        for (const AddedColumn &added : kAddedColumns) {
            const QString table = QString::fromLatin1(added.table);
            // Asked of the engine, not of the connection's table cache: that
            // may predate the column added by an earlier call.
            if (!db.openRecordset(QStringLiteral("select 1 from pragma_table_info('%1') where "
                                                 "name = '%2' collate nocase")
                                      .arg(table, QString::fromLatin1(added.column)))
                     .eof())
                continue;
            db.execute(QStringLiteral("alter table %1 add column %2")
                           .arg(table, QString::fromLatin1(added.definition)),
                       {});
        }
    } catch (const AppError &error) {
        // Locked, read-only or full now: the next connection tries again.
        return error;
    }
    return std::nullopt;
}

const char *programTableDefinition(const char *name)
{
    for (const ProgramTable &table : kProgramTables)
        if (std::strcmp(table.name, name) == 0)
            return table.definition;
    return "";
}

} // namespace zelvano
