#pragma once

#include <QtGlobal>

namespace zelvano {

struct AppContext;

// Saves the trips of ctx.grid into the local trip tables.
void CmdGrabar_Click(AppContext &ctx);

// Adds to a saved trip the prescribed unloads the tablet did not record.
// Raises its errors to the save.
void Comparar_Descarga(AppContext &ctx, qint32 idViaje, qint32 idPrg, qint32 idPres);

} // namespace zelvano
