#pragma once

namespace zelvano {

struct AppContext;

// Herd head counts from the latest downloaded feeding.
void Actualizar_Cabezas_Nube(AppContext &ctx);
// Herd head counts from the newest milk-production reading.
void Actualizar_Cabezas_Litros(AppContext &ctx);

} // namespace zelvano
