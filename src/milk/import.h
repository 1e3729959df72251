#pragma once

namespace zelvano {

struct AppContext;

// Scans the import folder and imports the new milking files.
void Abrir(AppContext &ctx);

} // namespace zelvano
