#pragma once

#include "common/outcome.h"
#include "remote/remote.h"

#include <QString>
#include <QStringList>

namespace zelvano {

struct AppContext;

// What one synchronisation moved, and how it ended.
struct SyncReport : Outcome
{
    int headersAdded = 0; // local readings sent as new server records
    int headersChanged = 0;
    int headersDeleted = 0;
    int detailsSent = 0;       // detail rows inserted on the server
    int recordsDownloaded = 0; // server records stored locally
    int detailsDownloaded = 0;
    bool loginRefused = false;
    QStringList remoteStatements; // every statement sent, in order
};

// Copies the records of this client that the server has and this database does
// not yet hold (above the highest stored server id) into the local tables.
SyncReport Sincronizar_nuevos(AppContext &ctx,
                              const RemoteOptions &options = RemoteOptions::synchronisation());

// Brings the remote production tables and the local ones in line, both ways.
// A silent run writes no event, but its report still tells how it ended.
SyncReport Sincronizar_CabProd(AppContext &ctx, bool silent,
                               const RemoteOptions &options = RemoteOptions::synchronisation());

} // namespace zelvano
