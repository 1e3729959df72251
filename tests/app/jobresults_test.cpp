#include "app/jobresults.h"
#include "common/errortext.h"
#include "download/download.h"
#include "trips/save.h"

#include <gtest/gtest.h>

namespace zelvano::test {
namespace {

const QString kTime = QStringLiteral("10:00:05");

TEST(JobResults, DownloadSaysHowManyTripsCameAndHowManyWereStored)
{
    DownloadOutcome o;
    o.trips = 12;
    o.alreadyStored = 3;
    EXPECT_EQ(downloadResultText(o, kTime, false),
              "Descarga de las 10:00:05: 12 viajes descargados (3 ya grabados)");
    o.trips = 1;
    o.alreadyStored = 1;
    EXPECT_EQ(downloadResultText(o, kTime, true),
              "Descarga automática de las 10:00:05: 1 viaje descargado (1 ya grabado)");
    o.trips = 0;
    o.alreadyStored = 0;
    EXPECT_EQ(downloadResultText(o, kTime, false),
              "Descarga de las 10:00:05: no hay viajes para descargar");
}

TEST(JobResults, DownloadRefusalsAndErrorsAreSaidInWords)
{
    DownloadOutcome refused;
    refused.loginRefused = true;
    refused.fail(1, QStringLiteral("Los datos de usuario o password remotos, no son correctos"));
    EXPECT_EQ(downloadResultText(refused, kTime, false),
              "Descarga de las 10:00:05: los datos de usuario o password remotos no son "
              "correctos, no se descargó ningún viaje");

    DownloadOutcome broken;
    broken.fail(-2147012867, QStringLiteral("No se puede establecer una conexión con el servidor"));
    EXPECT_EQ(downloadResultText(broken, kTime, false, "127.0.0.1:8080"),
              "Descarga de las 10:00:05 con error: No se pudo conectar con el servidor "
              "127.0.0.1:8080: revise la conexión a Internet o el servidor configurado (Error "
              "-2147012867 (No se puede establecer una conexión con el servidor))");
    // The whole trips that came before the error stay in the grid, and are told.
    broken.trips = 4;
    EXPECT_TRUE(downloadResultText(broken, kTime, false)
                    .endsWith("servidor)); se conservan 4 viajes descargados (0 ya grabados)"));
}

TEST(JobResults, SaveCountsWhatItStoredUnlessItFailed)
{
    SaveOutcome o;
    o.trips = 9;
    o.loads = 36;
    o.unloads = 45;
    EXPECT_EQ(saveResultText(o, kTime, false),
              "Grabación de las 10:00:05: 9 viajes grabados (36 cargas, 45 descargas)");
    o.trips = 1;
    o.loads = 1;
    o.unloads = 1;
    o.addedUnloads = 2;
    EXPECT_EQ(saveResultText(o, kTime, true),
              "Grabación automática de las 10:00:05: 1 viaje grabado (1 carga, 1 descarga, 2 "
              "descargas prescriptas agregadas)");
    // A failed save was rolled back: its counts would mislead.
    o.fail(3022, QStringLiteral("Valor duplicado"));
    EXPECT_EQ(saveResultText(o, kTime, false),
              "Grabación de las 10:00:05 con error: Anote el mensaje y, si se repite, avise al "
              "soporte técnico (Error 3022 (Valor duplicado))");
    EXPECT_EQ(saveResultText(SaveOutcome(), kTime, false),
              "Grabación de las 10:00:05: ningún viaje nuevo para grabar");
}

TEST(JobResults, EventListCountsTheWeek)
{
    EXPECT_EQ(eventListResultText(Outcome(), 1, kTime),
              "Sucesos leídos a las 10:00:05: 1 suceso en los últimos 7 días");
    Outcome failed;
    failed.fail(3709, QStringLiteral("La conexión está cerrada"));
    EXPECT_EQ(eventListResultText(failed, 0, kTime),
              "Sucesos leídos a las 10:00:05 con error: La base de datos local no está abierta: "
              "revise el archivo conexion.txt y que la base de datos exista (Error 3709 (La "
              "conexión está cerrada))");
}

// Each family of failure gets words a clerk can act on, naming the server
// where it is at fault; the system's text is never lost.
TEST(JobResults, EveryFailureIsExplainedInSpanish)
{
    struct Case
    {
        long number;
        const char *description;
        const char *server;
        const char *advice;
    };
    const Case cases[] = {
        {-2147012867, "A connection with the server could not be established", "10.0.0.5:8080",
         "No se pudo conectar con el servidor 10.0.0.5:8080"},
        {-2147012889, "The server name or address could not be resolved", "srv.example",
         "No se encontró el servidor srv.example"},
        {-2147012889, "The server name or address could not be resolved", "",
         "No hay un servidor remoto configurado"},
        {-2147012894, "The operation timed out", "srv", "no respondió a tiempo"},
        {-2147012866, "The server's answer could not be read whole: cut", "srv",
         "respuesta llegó incompleta"},
        {-2147217843, "Access denied", "srv", "revise el id de cliente y la contraseña"},
        {-2147467259, "The server answered status 502: Bad Gateway", "srv",
         "El servidor srv respondió con un error"},
        {-2147467259, "[MySQL] Can't connect to server on '10.0.0.9'", "10.0.0.9",
         "No se pudo conectar con el servidor 10.0.0.9"},
        {-2147467259, "SSL certificate problem: unable to get local issuer certificate", "srv",
         "revise la fecha y hora del equipo"},
        {-2147012866, "No se pudo establecer una conexión segura con el servidor (x)", "srv",
         "revise la fecha y hora del equipo"},
        {-2147467259, "database is locked", "", "ocupada por otro programa"},
        {3709, "La conexión está cerrada", "", "conexion.txt"},
        {13, "Type mismatch", "", "avise al soporte técnico"},
    };
    for (const Case &c : cases) {
        const AppError error(c.number, QString::fromUtf8(c.description));
        const QString text = withClerkExplanation(error.text(), error, QString::fromUtf8(c.server));
        // The advice first, the system's text whole after it.
        const qsizetype advice = text.indexOf(QString::fromUtf8(c.advice));
        EXPECT_GE(advice, 0) << c.number << " " << text.toStdString();
        EXPECT_TRUE(text.endsWith(" (" + error.text() + ")")) << text.toStdString();
        EXPECT_LT(advice, text.indexOf(" (" + error.text())) << text.toStdString();
    }
}

} // namespace
} // namespace zelvano::test
