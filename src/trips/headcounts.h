#pragma once

#include "common/outcome.h"

namespace zelvano {

struct AppContext;

// Herd head counts from the latest downloaded feeding. A failure is written
// to the event log and returned.
Outcome Actualizar_Cabezas_Nube(AppContext &ctx);
// Herd head counts from the newest milk-production reading.
Outcome Actualizar_Cabezas_Litros(AppContext &ctx);

} // namespace zelvano
