#pragma once

#include "common/outcome.h"

#include <QString>

#include <optional>

namespace zelvano {

struct AppContext;
class TripGrid;

// Turns an operator id into the operator's display name from the local table
// usuario ("<position 1>, <position 2>"), in place. An id that is not a whole
// number, or that has no usuario row, becomes "ANONIMO" (the former without a
// lookup: pasted into the statement it would only make it invalid).
void Buscar_Usuario(AppContext &ctx, QString &id);

// Puts the stored mark (icon 1 on cell 0) on every trip row whose trip is
// already in lectura_viajes. An error stops the walk and is written to the
// event log and returned; the marks set so far stay.
Outcome Comparar_Guardados(AppContext &ctx, TripGrid &grid);

// True for an optional sign and digits only, with blanks around allowed.
bool isWholeNumberText(const QString &text);

} // namespace zelvano
