#pragma once

namespace zelvano {

struct AppContext;
class InstanceClaim;

// The single-instance check of the tray program and the service: one running
// copy per program folder (ctx.homeDir). When another copy holds the folder it
// tells so and returns true: the caller ends at once, with a non-zero status.
bool Ver_Abierto(AppContext &ctx, InstanceClaim &instance);

// The exit status of a start refused because another copy runs for the folder.
inline constexpr int kExitAnotherCopyRuns = 3;

} // namespace zelvano
