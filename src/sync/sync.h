#pragma once

#include <QString>
#include <QStringList>

namespace zelvano {

struct AppContext;

// What one synchronisation moved, for the command line, tests and benchmarks.
struct SyncReport
{
    int headersAdded = 0; // local readings sent as new server records
    int headersChanged = 0;
    int headersDeleted = 0;
    int detailsSent = 0;       // detail rows inserted on the server
    int recordsDownloaded = 0; // server records stored locally
    int detailsDownloaded = 0;
    QStringList remoteStatements; // every statement sent, in order
};

// Copies the records of this client that the server has and this database does
// not yet hold (above the highest stored server id) into the local tables.
void Sincronizar_nuevos(AppContext &ctx, SyncReport *report = nullptr);

// Brings the remote production tables and the local ones in line, both ways.
void Sincronizar_CabProd(AppContext &ctx, bool silent);
void Sincronizar_CabProd(AppContext &ctx, bool silent, SyncReport *report);

} // namespace zelvano
