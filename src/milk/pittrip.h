#pragma once

#include "common/outcome.h"
#include "milk/milkgroup.h"

#include <QDate>
#include <QString>

#include <vector>

namespace zelvano {

struct AppContext;

// The pit diet of the suite as the pit trip takes it: the diet, its newest
// prescription and programmed trip, and the pit food.
struct PitDiet
{
    qint32 dietId = 0;
    qint32 foodId = 0;
    qint32 prescriptionId = 0;
    qint32 programmedTripId = 0;
    QString foodName;
    qint32 shift = 0;
    QString recipeName;
    QString tripTime;
};

// Records the ration fed in the milking pit as one local feeding trip marked
// "Fosa Delpro": the trip, one unload per group and one load of the pit food,
// all or none: in a transaction of its own, or as one part of the transaction
// under way (the reading's), which a failure of the trip leaves standing.
// Local trips count down from -1. A group whose code is no whole number (no
// herd claimed it) is booked to herd 0. A failure is shown in a message box,
// leaves none of the trip's rows and is returned.
Outcome Dar_Viaje_Fosa(AppContext &ctx, const QDate &fecha, const PitDiet &diet,
                       const std::vector<MilkGroup> &groups);

// The herd whose numeric id is the number in text: on return text holds its
// name and the three numbers its category, activity and pen; "sin descripcion"
// and zeros when there is no such herd or it cannot be read.
void Buscar_Cab(AppContext &ctx, QString &text, qint16 &category, qint16 &activity, qint16 &pen);

} // namespace zelvano
