#include "app/jobresults.h"

#include "common/errortext.h"
#include "download/download.h"
#include "trips/save.h"

namespace zelvano {

namespace {

// "1 viaje descargado", "12 viajes descargados".
QString counted(int n, const char *one, const char *many)
{
    return QString::number(n) + u' ' + QString::fromUtf8(n == 1 ? one : many);
}

QString heading(const char *job, const char *automaticJob, bool automatic, const QString &time)
{
    return QString::fromUtf8(automatic ? automaticJob : job) + QStringLiteral(" de las ") + time;
}

} // namespace

QString explainedError(const Outcome &o, const QString &server)
{
    if (o.ok())
        return QString();
    return withClerkExplanation(o.errorText(), *o.error(), server);
}

QString downloadResultText(const DownloadOutcome &o, const QString &time, bool automatic,
                           const QString &server)
{
    const QString head = heading("Descarga", "Descarga automática", automatic, time);
    if (o.loginRefused)
        return head + QStringLiteral(": los datos de usuario o password remotos no son "
                                     "correctos, no se descargó ningún viaje");
    QString trips;
    if (o.trips == 0)
        trips = QStringLiteral("no hay viajes para descargar");
    else
        trips = counted(o.trips, "viaje descargado", "viajes descargados") + QStringLiteral(" (") +
                counted(o.alreadyStored, "ya grabado", "ya grabados") + u')';
    if (!o.ok())
        return head + QStringLiteral(" con error: ") + explainedError(o, server) +
               (o.trips > 0 ? QStringLiteral("; se conservan ") + trips : QString());
    return head + QStringLiteral(": ") + trips;
}

QString saveResultText(const SaveOutcome &o, const QString &time, bool automatic,
                       const QString &server)
{
    const QString head = heading("Grabación", "Grabación automática", automatic, time);
    // A failed save may have been rolled back: its counts say nothing then.
    if (!o.ok())
        return head + QStringLiteral(" con error: ") + explainedError(o, server);
    // Trips left out are told beside what was stored: the events say why.
    const QString leftOut =
        o.refusedTrips > 0 ? QStringLiteral("; ") +
                                 counted(o.refusedTrips, "viaje no grabado", "viajes no grabados") +
                                 QStringLiteral(" (ver sucesos)")
                           : QString();
    if (o.trips == 0)
        return head + QStringLiteral(": ningún viaje nuevo para grabar") + leftOut;
    QString text = head + QStringLiteral(": ") +
                   counted(o.trips, "viaje grabado", "viajes grabados") + QStringLiteral(" (") +
                   counted(o.loads, "carga", "cargas") + QStringLiteral(", ") +
                   counted(o.unloads, "descarga", "descargas");
    if (o.addedUnloads > 0)
        text += QStringLiteral(", ") + counted(o.addedUnloads, "descarga prescripta agregada",
                                               "descargas prescriptas agregadas");
    return text + u')' + leftOut;
}

QString eventListResultText(const Outcome &o, int events, const QString &time)
{
    const QString head = QStringLiteral("Sucesos leídos a las ") + time;
    if (!o.ok())
        return head + QStringLiteral(" con error: ") + explainedError(o);
    return head + QStringLiteral(": ") +
           counted(events, "suceso en los últimos 7 días", "sucesos en los últimos 7 días");
}

} // namespace zelvano
