#include "trips/headcounts.h"

#include "store/appcontext.h"

namespace zelvano {

// Placeholders until the head-count refresh lands.
void Actualizar_Cabezas_Nube(AppContext &ctx)
{
    (void)ctx;
}

void Actualizar_Cabezas_Litros(AppContext &ctx)
{
    (void)ctx;
}

} // namespace zelvano
