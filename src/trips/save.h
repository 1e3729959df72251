#pragma once

namespace zelvano {

struct AppContext;

// Saves the trips of ctx.grid into the local trip tables.
void CmdGrabar_Click(AppContext &ctx);

} // namespace zelvano
