#pragma once

#include <QString>

namespace zelvano {

// One group of a milking file. code is the group's code in the dairy software
// until a herd claims the group; from then on it is that herd's id.
struct MilkGroup
{
    QString code;
    double heads = 0;
    double litres = 0;
    double pitKg = 0;
};

} // namespace zelvano
