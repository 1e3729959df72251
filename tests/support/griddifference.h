#pragma once

#include "common/tripgrid.h"

#include <QString>

#include <vector>

namespace zelvano::test {

// The first difference between two grids (every value with its type, colour
// and icon of trips and children, in order), or an empty text.
QString gridDifference(const std::vector<TripGrid::Row> &a, const std::vector<TripGrid::Row> &b,
                       const QString &where = QStringLiteral("row"));

} // namespace zelvano::test
