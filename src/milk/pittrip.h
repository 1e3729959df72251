#pragma once

#include <QDate>
#include <QString>

namespace zelvano {

struct AppContext;

// Records the ration fed in the milking pit as one local feeding trip marked
// "Fosa Delpro": the trip, one unload per group of ctx.ProductionRows and one
// load of the pit food, in one transaction. Local trips count down from -1.
// A failure is shown in a message box and leaves none of the trip's rows.
void Dar_Viaje_Fosa(AppContext &ctx, const QDate &fecha, qint32 dietId, qint32 foodId,
                    qint32 prescriptionId, qint32 programmedTripId, const QString &foodName,
                    qint32 shift, const QString &recipeName, const QString &tripTime);

// The herd whose numeric id is the number in text: on return text holds its
// name and the three numbers its category, activity and pen; "sin descripcion"
// and zeros when there is no such herd or it cannot be read.
void Buscar_Cab(AppContext &ctx, QString &text, qint16 &category, qint16 &activity, qint16 &pen);

} // namespace zelvano
