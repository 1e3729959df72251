#pragma once

namespace zelvano {

struct AppContext;

// Brings the remote production tables and the local ones in line, both ways.
void Sincronizar_CabProd(AppContext &ctx, bool silent);

} // namespace zelvano
