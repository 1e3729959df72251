#include "sync/sync.h"

#include "store/appcontext.h"

namespace zelvano {

// Placeholder until the production synchronisation lands.
void Sincronizar_CabProd(AppContext &ctx, bool silent)
{
    (void)ctx;
    (void)silent;
}

} // namespace zelvano
