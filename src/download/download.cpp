#include "download/download.h"

#include "store/appcontext.h"

namespace zelvano {

// Placeholder until this subsystem lands: the scheduler and the window call it.
void CmdDescargar_Click(AppContext &ctx)
{
    (void)ctx;
}

} // namespace zelvano
