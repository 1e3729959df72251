#pragma once

#include <QtGlobal>

namespace zelvano {

struct AppContext;

// Copies the prescribed kilograms into every stored trip, load and unload that
// has none yet (null or 0). Ends silently on any error; what it wrote stays.
void Setear_Prescriptos(AppContext &ctx);

// Breaks one load of a concentrate into the concentrate's ingredients, with
// their whole kilograms, in lectura_carga_detalle_conc. Ordinary loads add
// nothing. Errors are shown in a message box; the caller goes on.
void Inserta_Composicion_Concentrado(AppContext &ctx, qint32 idPres, qint32 idAlim, double kgReal,
                                     qint32 idMod, qint32 idViaje, double kgSug);

} // namespace zelvano
