#include "milk/import.h"

#include "store/appcontext.h"

namespace zelvano {

// Placeholder until this subsystem lands: the scheduler and the window call it.
void Abrir(AppContext &ctx)
{
    (void)ctx;
}

} // namespace zelvano
