#pragma once

#include "common/outcome.h"
#include "remote/remote.h"

#include <QString>

namespace zelvano {

struct AppContext;
class TripGrid;

// What one download brought into the grid.
struct DownloadOutcome : Outcome
{
    int trips = 0;         // trip rows in the grid
    int alreadyStored = 0; // of them, trips the local database holds already
    bool loginRefused = false;
    double remoteSeconds = 0; // spent waiting for the server
};

// Downloads this farm's trips into ctx.grid: one top-level row per trip, its
// loads and then its unloads as child rows, and the stored mark on the trips
// already in the local database. Stores nothing. Errors go to the event log.
DownloadOutcome CmdDescargar_Click(AppContext &ctx,
                                   const RemoteOptions &options = RemoteOptions::tripDownload());

// The grid's sixteen columns, no rows.
void resetTripGrid(TripGrid &grid);

// " id_viaje > <highest local trip id> " for new trips only, else
// " fecha between '<DTdesde yyyyMMdd>' and '<DThasta yyyyMMdd>' ".
QString tripFilter(AppContext &ctx);
// "select * from lectura_viajes_feed where cliente = <ClientId> and <filter> order by id_viaje"
QString tripStatement(AppContext &ctx);
QString loadsStatement(const QString &tripId);
QString unloadsStatement(const QString &tripId);

} // namespace zelvano
