#pragma once

#include <QStringList>

namespace zelvano {

struct CliEnv;
class TripGrid;

// zelvano download [--from dd/MM/yyyy --to dd/MM/yyyy] [--json]
// One download on the home's database; prints the grid. Without dates it
// fetches new trips only. Exit 1 when the download ended with an error event.
int cmdDownload(CliEnv &env, const QStringList &args);

// The grid as an indented text table, and as a JSON array of trips:
// {"cells": [16 texts], "stored": bool, "children": [{"cells": [...],
//  "background": "RRGGBB", "icon": 7|8|null}]}
QString tripGridText(const TripGrid &grid);
QString tripGridJson(const TripGrid &grid);

} // namespace zelvano
