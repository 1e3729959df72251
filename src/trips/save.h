#pragma once

#include "common/outcome.h"

#include <QtGlobal>

namespace zelvano {

struct AppContext;

// What one save stored: the counts of its committed transaction, all 0 when
// it was rolled back. Trips left out do not make it fail.
struct SaveOutcome : Outcome
{
    int trips = 0;
    int loads = 0;
    int unloads = 0;       // the grid's unloads
    int addedUnloads = 0;  // prescribed unloads the tablet did not record
    int concentrateRows = 0;
    int refusedTrips = 0; // left out: a cell that does not convert, rows that contradict
    int newRefusals = 0;  // of them, those told for the first time (one event each)
};

// Saves the trips of ctx.grid into the local trip tables.
SaveOutcome CmdGrabar_Click(AppContext &ctx);

// Adds to a saved trip the prescribed unloads the tablet did not record.
// Raises its errors to the save. Returns the number of unloads it added.
int Comparar_Descarga(AppContext &ctx, qint32 idViaje, qint32 idPrg, qint32 idPres);

} // namespace zelvano
