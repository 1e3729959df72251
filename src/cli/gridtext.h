#pragma once

#include <QString>

namespace zelvano {

class TripGrid;

// The grid as an indented text table ("*" marks trips already stored), and as
// a JSON array of trips:
// {"cells": [16 texts], "stored": bool, "children": [{"cells": [...],
//  "background": "RRGGBB", "icon": 7|8|null}]}
QString tripGridText(const TripGrid &grid);
QString tripGridJson(const TripGrid &grid);

} // namespace zelvano
