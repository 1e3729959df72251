#include "store/programtables.h"

#include "common/error.h"
#include "store/localconnection.h"

#include <QString>

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
    {"zelvano_jobs", "create table zelvano_jobs (job text primary key not null check (job in ('download', 'import', 'sync')), started text not null, ended text not null, ok integer not null check (ok in (0, 1)), error_number integer, error_text text, last_success text, trips_saved integer)"},
};

bool tableExists(LocalConnection &db, const QString &name)
{
    return !db.openRecordset(QStringLiteral("select name from sqlite_master where type = 'table' "
                                            "and name = '%1' collate nocase")
                                 .arg(name))
                .eof();
}

} // namespace

void ensureProgramTables(LocalConnection &db)
{
    try {
        if (!tableExists(db, QStringLiteral("sucesos")))
            return;
        for (const ProgramTable &table : kProgramTables) {
            if (tableExists(db, QString::fromLatin1(table.name)))
                continue;
            db.execute(QString::fromLatin1(table.definition), {});
        }
    } catch (const AppError &) {
        // Locked or read-only now: the next connection tries again.
    }
}

} // namespace zelvano
