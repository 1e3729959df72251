#include "common/gridcolumns.h"
#include "gui/datepicker.h"
#include "gui/printout.h"
#include "remote/remotetestsupport.h"
#include "windowrig.h"

#include <QHeaderView>
#include <QLabel>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

namespace zelvano::test {
namespace {

// Farm 12: trip 801 with two loads and two unloads (one with a position, one
// without), trip 802 with one load.
void seedFarm()
{
    RemotePeer::execAll({
        QStringLiteral("insert into lectura_viajes_feed values "
                       "(12, 801, 1, 7, 'Engorde', '2024-01-05', 120, 1500, 1495, 2, '7'),"
                       "(12, 802, 99, 7, 'Limpieza', '2024-01-06', 0, 10, 12, 2, '7')"),
        QStringLiteral("insert into lectura_carga_feed (id_viaje, id_alim, des_alim, cantidad, "
                       "kg_sug, kg_real, hora, operario, id_tablet, nom_tablet, suceso) values "
                       "(801, 50, 'Balanceado', 0, 1000, 1000, '06:10:00', '7', 'T1', 'Mixer', ''),"
                       "(801, 51, 'Maiz', 0, 500, 495, '06:20:00', '7', 'T1', 'Mixer', ''),"
                       "(802, 51, 'Maiz', 0, 10, 12, '08:00:00', '7', 'T1', 'Mixer', '')"),
        QStringLiteral("insert into lectura_descarga_feed (id_viaje, id_rodeo, nom_rodeo, cabezas, "
                       "categoria, actividad, corral, kg_sug, kg_real, hora, operario, id_tablet, "
                       "nom_tablet, gps, suceso) values "
                       "(801, 3, 'Corral 3', 30, 1, 2, 3, 700, 705, '07:00:00', '7', 'T1', "
                       "'Mixer', '-31.254021,-61.499873', ''),"
                       "(801, 7, 'Corral 7', 70, 1, 2, 7, 800, 790, '07:10:00', '7', 'T1', "
                       "'Mixer', ',', '')"),
    });
}

// Both ways to the server: ODBC (true) and WEB.
class WindowRemoteTest : public ::testing::TestWithParam<bool>
{
protected:
    void SetUp() override
    {
        if (!RemotePeer::freshServer())
            return;
        seedFarm();
        rig.home.exec("insert into usuario (id, apellido, nombre, login, activo) "
                      "values (7, 'Perez', 'Juan', 'jp', true)");
        const bool odbc = GetParam();
        rig.home.exec(
            QStringLiteral("update mi_empresa set id_cliente_remoto = '12', "
                           "password_remoto = 'secreto', modo_remoto = '%1', "
                           "servidor_remoto = '%2'")
                .arg(odbc ? "ODBC" : "WEB", odbc ? RemotePeer::odbcHost() : RemotePeer::webHost()));
    }

    QString result() { return child<QLabel>(rig.form, "lblResultado")->toolTip(); }

    WindowRig rig;
};

INSTANTIATE_TEST_SUITE_P(BothWays, WindowRemoteTest, ::testing::Values(true, false),
                         [](const auto &info) { return info.param ? "Odbc" : "Web"; });

TEST_P(WindowRemoteTest, ResultLineAfterDownloadSaveAndARangeOfStoredTrips)
{
    ASSERT_TRUE(rig.start());
    rig.form.showWindow();
    rig.form.resize(1000, 620); // the first size on the office's screen
    rig.form.CmdDescargar_Click();
    EXPECT_EQ(result(), "Descarga de las 10:00:00: 2 viajes descargados (0 ya grabados)");
    rig.form.cmdgrabar_Click();
    EXPECT_EQ(result(), "Grabación de las 10:00:00: 2 viajes grabados (3 cargas, 2 descargas)");
    EXPECT_EQ(rig.home.scalar("select count(*) from lectura_viajes").toInt(), 2);

    // The range of the two pickers: both trips again, both stored now.
    child<QTabWidget>(rig.form, "Tabb")->setCurrentIndex(1);
    child<gui::DatePicker>(rig.form, "DTdesde")->setDate(QDate(2024, 1, 1));
    child<gui::DatePicker>(rig.form, "DThasta")->setDate(QDate(2024, 1, 31));
    rig.form.CmdDescargar_Click();
    EXPECT_EQ(result(), "Descarga de las 10:00:00: 2 viajes descargados (2 ya grabados)");
    EXPECT_EQ(gui::printSelectionText(rig.ctx.grid.selection()),
              "Viajes del 01/01/2024 al 31/01/2024");

    // The columns hold what came: the position reads whole, "," reads as nothing.
    QTest::qWait(400);
    auto *view = child<QTreeView>(rig.form, "Report");
    const QFontMetrics fm(view->font());
    EXPECT_GE(view->columnWidth(UnloadCell::Gps),
              fm.horizontalAdvance("-31.254021,-61.499873") + 16);
    QAbstractItemModel *model = view->model();
    const QModelIndex trip = model->index(0, 0);
    ASSERT_EQ(model->rowCount(trip), 4);
    EXPECT_EQ(model->data(model->index(2, UnloadCell::Gps, trip)).toString(),
              "-31.254021,-61.499873");
    EXPECT_EQ(model->data(model->index(3, UnloadCell::Gps, trip)).toString(), QString());
}

TEST_P(WindowRemoteTest, RefusedLoginIsSaidInTheWindow)
{
    rig.home.exec("update mi_empresa set password_remoto = 'otra'");
    ASSERT_TRUE(rig.start());
    rig.form.CmdDescargar_Click();
    EXPECT_EQ(result(), "Descarga de las 10:00:00: los datos de usuario o password remotos no "
                        "son correctos, no se descargó ningún viaje");
    // The grid stays empty, with its captions.
    auto *view = child<QTreeView>(rig.form, "Report");
    EXPECT_EQ(view->model()->rowCount(), 0);
    EXPECT_EQ(view->model()->columnCount(), kTripGridColumns);
    rig.form.cmdgrabar_Click();
    EXPECT_EQ(result(), "Grabación de las 10:00:00: ningún viaje nuevo para grabar");
}

} // namespace
} // namespace zelvano::test
