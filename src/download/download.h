#pragma once

namespace zelvano {

struct AppContext;

// Downloads this farm's trips into ctx.grid.
void CmdDescargar_Click(AppContext &ctx);

} // namespace zelvano
