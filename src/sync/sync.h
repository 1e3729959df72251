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

// Copies the records of this client that the server holds complete (with their
// details) and this database does not hold yet, whatever their server id, into
// the local tables. A record that cannot be stored here is named once in an
// event and skipped; a header that is one of this site's own readings is never
// stored as a new record.
SyncReport Sincronizar_nuevos(AppContext &ctx,
                              const RemoteOptions &options = RemoteOptions::synchronisation());

// Brings the remote production tables and the local ones in line, both ways.
// Repeated runs converge whatever run was cut short and wherever: each reading
// ends up on the server exactly once, with its details, and marked sent with
// its server id. A silent run writes no event, but its report still tells how
// it ended.
SyncReport Sincronizar_CabProd(AppContext &ctx, bool silent,
                               const RemoteOptions &options = RemoteOptions::synchronisation());

} // namespace zelvano
