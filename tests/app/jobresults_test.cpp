#include "app/jobresults.h"
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
    EXPECT_EQ(downloadResultText(broken, kTime, false),
              "Descarga de las 10:00:05 con error: Error -2147012867 (No se puede establecer una "
              "conexión con el servidor)");
    // The trips that came before the error stay in the grid, and are told.
    broken.trips = 4;
    EXPECT_TRUE(downloadResultText(broken, kTime, false)
                    .endsWith("servidor); 4 viajes descargados (0 ya grabados)"));
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
              "Grabación de las 10:00:05 con error: Error 3022 (Valor duplicado)");
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
              "Sucesos leídos a las 10:00:05 con error: Error 3709 (La conexión está cerrada)");
}

} // namespace
} // namespace zelvano::test
