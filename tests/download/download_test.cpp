#include "remote/remotetestsupport.h"
#include "support/testsupport.h"

#include "common/gridcolumns.h"
#include "common/tripgrid.h"
#include "common/vb.h"
#include "download/download.h"
#include "remote/odbc.h"
#include "remote/remote.h"
#include "remote/webrequest.h"
#include "json/json.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

namespace zelvano {
namespace {

using test::RemotePeer;

const QString kTime = QStringLiteral("10:00:00");

// A small fixed farm: trip 501 with two loads and two unloads, 502 without
// children, 503 with unloads only (a "{" inside a text, Null and odd
// operators), 510 of another client, 520 outside the date range.
void seedSmallFarm()
{
    RemotePeer::execAll({
        QStringLiteral(
            "insert into lectura_viajes_feed values "
            "(12, 501, 1, 7, 'Engorde', '2024-01-05', 120, 1500.50, 1498.00, 3, '4'),"
            "(12, 502, 1, 7, 'Vacío', '2024-01-06', 0, 0, 0, 3, '4'),"
            "(12, 503, 2, 8, 'Terminación', '2024-01-07', 80, 900.00, 910.25, 3, NULL),"
            "(13, 510, 1, 7, 'Otro cliente', '2024-01-06', 10, 10, 10, 1, '1'),"
            "(12, 520, 1, 7, 'Fuera de rango', '2024-01-09', 10, 10, 10, 1, '1')"),
        QStringLiteral(
            "insert into lectura_carga_feed (id_viaje, id_alim, des_alim, cantidad, kg_sug, "
            "kg_real, hora, operario, id_tablet, nom_tablet, suceso) values "
            "(501, 31, 'Maíz', 0, 800.00, 805.50, '06:10:00', '7', 'T1', 'Tablet Mixer 1', ''),"
            "(501, 32, 'Silo', 0, 700.50, 692.50, '06:05:30', '99', 'T1', 'Tablet Mixer 1', NULL),"
            "(510, 31, 'Maíz', 0, 10, 10, '07:00:00', '7', 'T9', 'Otra', ''),"
            "(520, 31, 'Maíz', 0, 10, 10, '07:00:00', '7', 'T1', 'Tablet Mixer 1', '')"),
        QStringLiteral(
            "insert into lectura_descarga_feed (id_viaje, id_rodeo, nom_rodeo, cabezas, "
            "categoria, actividad, corral, kg_sug, kg_real, hora, operario, id_tablet, "
            "nom_tablet, gps, suceso) values "
            "(501, 5, 'Corral 5', 60, 2, 1, 5, 750.00, 740.00, '06:40:00', '7', 'T1', "
            "'Tablet Mixer 1', '-31.41,-64.18', ''),"
            "(501, 6, 'Corral 6', 60, 2, 1, 6, 750.50, 758.00, '06:30:00', '', 'T1', "
            "'Tablet Mixer 1', ',', NULL),"
            "(503, 9, 'Corral 9', 80, 3, 2, 9, 900.00, 910.25, '09:15:00', NULL, 'T2', "
            "'Tablet Mixer 2', NULL, 'tolva {abierta}'),"
            "(503, 10, 'Corral 10', 0, 3, 2, 10, 0, 0, '09:20:00', 'abc', 'T2', "
            "'Tablet Mixer 2', '', 'x')"),
    });
}

QString text(const TripGrid::Row &row, int column)
{
    return vb::joinText(row.value(column));
}

double number(const TripGrid::Row &row, int column)
{
    return vb::toDouble(row.value(column));
}

// These tests break the server at a chosen point of the grid's filling, which
// only a download one statement at a time reaches in a known order; the
// downloads with many exchanges in flight are broken through the proxy.
RemoteOptions oneAtATime()
{
    RemoteOptions options = RemoteOptions::tripDownload();
    options.connections = 1;
    return options;
}

class DownloadTest : public ::testing::TestWithParam<bool>
{
protected:
    void SetUp() override
    {
        if (!RemotePeer::freshServer())
            return;
        home.connect();
        home.exec(QStringLiteral("insert into usuario (id, apellido, nombre, login, activo) "
                                 "values (7, 'Pérez', 'Juan', 'jperez', true)"));
        useMode(GetParam());
    }

    bool odbc() const { return GetParam(); }

    void useMode(bool odbcMode)
    {
        Settings &s = home.ctx.settings;
        s.ClientId = QStringLiteral("12");
        s.ClientPassword = QStringLiteral("secreto");
        s.RemoteMode = odbcMode ? QStringLiteral("ODBC") : QStringLiteral("WEB");
        s.ServerHost = odbcMode ? RemotePeer::odbcHost() : RemotePeer::webHost();
    }

    void useRange(QDate from, QDate to)
    {
        home.ctx.newTripsOnly = false;
        home.ctx.DTdesde = from;
        home.ctx.DThasta = to;
    }

    QStringList tripIds() const
    {
        QStringList ids;
        for (const TripGrid::Row &r : home.ctx.grid.rows())
            ids << text(r, TripCell::Id);
        return ids;
    }

    test::TestHome home;
};

INSTANTIATE_TEST_SUITE_P(BothWays, DownloadTest, ::testing::Values(true, false),
                         [](const auto &info) { return info.param ? "Odbc" : "Web"; });

class WebOnlyDownloadTest : public DownloadTest
{
};
INSTANTIATE_TEST_SUITE_P(Web, WebOnlyDownloadTest, ::testing::Values(false));

TEST_P(DownloadTest, SmallFarmGridCellByCell)
{
    seedSmallFarm();
    useRange(QDate(2024, 1, 5), QDate(2024, 1, 7));
    CmdDescargar_Click(home.ctx);

    EXPECT_EQ(test::eventTexts(home), QStringList());
    const TripGrid &grid = home.ctx.grid;
    ASSERT_EQ(grid.columns().size(), 16u);
    EXPECT_EQ(grid.columns()[0].caption, QStringLiteral("Id"));
    EXPECT_TRUE(grid.columns()[0].tree);
    EXPECT_EQ(grid.columns()[9].caption, QStringLiteral("id pres"));
    EXPECT_FALSE(grid.columns()[9].visible);
    EXPECT_EQ(grid.columns()[14].caption, QStringLiteral("GPS"));
    EXPECT_EQ(grid.columns()[15].width, 10);

    // 502 has no loads nor unloads; 510 is another client's; 520 is out of range.
    ASSERT_EQ(tripIds(), (QStringList{"501", "503"}));
    EXPECT_FALSE(home.overlay.isVisible());
    EXPECT_EQ(home.overlay.value(), 3); // 502 counts, though it is dropped
    EXPECT_EQ(home.overlay.maximum(), odbc() ? 3 : 100);
    EXPECT_EQ(home.overlay.text(), QStringLiteral("Descargando viaje Terminación ... ESPERE"));

    const TripGrid::Row &t1 = grid.row(0);
    EXPECT_EQ(text(t1, TripCell::Fecha), odbc() ? QStringLiteral("05/01/2024") : QStringLiteral("2024-01-05"));
    EXPECT_EQ(text(t1, TripCell::Receta), QStringLiteral("Engorde"));
    EXPECT_EQ(text(t1, TripCell::Cabezas), QStringLiteral("120"));
    EXPECT_DOUBLE_EQ(number(t1, TripCell::KgSug), 1500.5);
    EXPECT_DOUBLE_EQ(number(t1, TripCell::KgReal), 1498);
    EXPECT_EQ(text(t1, TripCell::IdReceta), QStringLiteral("7"));
    EXPECT_EQ(text(t1, TripCell::Turno), QStringLiteral("1"));
    EXPECT_EQ(text(t1, TripCell::IdPrg), QStringLiteral("3"));
    // id_pres: the number of its text (ODBC) or the text as received (WEB).
    if (odbc())
        EXPECT_EQ(t1.value(TripCell::IdPres).typeId(), QMetaType::Double);
    else
        EXPECT_EQ(t1.value(TripCell::IdPres), QVariant(QStringLiteral("4")));
    EXPECT_DOUBLE_EQ(number(t1, TripCell::IdPres), 4);
    for (int c = TripCell::IdPres + 1; c < kTripGridColumns; ++c)
        EXPECT_EQ(t1.value(c), QVariant(QString())) << c;
    EXPECT_EQ(t1.cells[TripCell::Id].background, TripGrid::kNoBackground);

    ASSERT_EQ(t1.children.size(), 4u);
    const TripGrid::Row &silo = t1.children[0]; // loads first, by hora
    EXPECT_EQ(text(silo, LoadCell::Kind), QStringLiteral("Carga"));
    EXPECT_EQ(text(silo, LoadCell::Hora), QStringLiteral("06:05:30"));
    EXPECT_EQ(text(silo, LoadCell::Alimento), QStringLiteral("Silo"));
    EXPECT_EQ(text(silo, LoadCell::Operador), QStringLiteral("ANONIMO"));
    EXPECT_DOUBLE_EQ(number(silo, LoadCell::KgSug), 700.5);
    EXPECT_DOUBLE_EQ(number(silo, LoadCell::KgReal), 692.5);
    EXPECT_EQ(text(silo, LoadCell::IdTablet), QStringLiteral("T1"));
    EXPECT_EQ(text(silo, LoadCell::NomTablet), QStringLiteral("Tablet Mixer 1"));
    EXPECT_EQ(text(silo, LoadCell::IdAlim), QStringLiteral("32"));
    EXPECT_EQ(text(silo, LoadCell::OperarioId), QStringLiteral("99"));
    EXPECT_TRUE(vb::isNull(silo.value(LoadCell::Suceso)));
    for (const TripGrid::Cell &cell : silo.cells)
        EXPECT_EQ(cell.background, TripGrid::kLoadBackground);
    EXPECT_EQ(silo.cells[UnloadCell::Gps].icon, TripGrid::kNoIcon);

    const TripGrid::Row &maiz = t1.children[1];
    EXPECT_EQ(text(maiz, LoadCell::Hora), QStringLiteral("06:10:00"));
    EXPECT_EQ(text(maiz, LoadCell::Alimento), QStringLiteral("Maíz"));
    EXPECT_EQ(text(maiz, LoadCell::Operador), QStringLiteral("Pérez, Juan"));
    EXPECT_EQ(text(maiz, LoadCell::OperarioId), QStringLiteral("7"));
    EXPECT_EQ(maiz.value(LoadCell::Suceso), QVariant(QString()));

    const TripGrid::Row &c6 = t1.children[2]; // unloads after the loads, by hora
    EXPECT_EQ(text(c6, UnloadCell::Kind), QStringLiteral("Descarga"));
    EXPECT_EQ(text(c6, UnloadCell::Hora), QStringLiteral("06:30:00"));
    EXPECT_EQ(text(c6, UnloadCell::Rodeo), QStringLiteral("Corral 6"));
    EXPECT_EQ(text(c6, UnloadCell::Operador), QStringLiteral("ANONIMO")); // empty operator: no lookup
    EXPECT_DOUBLE_EQ(number(c6, UnloadCell::KgSug), 750.5);
    EXPECT_DOUBLE_EQ(number(c6, UnloadCell::KgReal), 758);
    EXPECT_EQ(text(c6, UnloadCell::Categoria), QStringLiteral("2"));
    EXPECT_EQ(text(c6, UnloadCell::Actividad), QStringLiteral("1"));
    EXPECT_EQ(text(c6, UnloadCell::Corral), QStringLiteral("6"));
    EXPECT_EQ(text(c6, UnloadCell::Cabezas), QStringLiteral("60"));
    EXPECT_EQ(text(c6, UnloadCell::IdTablet), QStringLiteral("T1"));
    EXPECT_EQ(text(c6, UnloadCell::NomTablet), QStringLiteral("Tablet Mixer 1"));
    EXPECT_EQ(text(c6, UnloadCell::IdRodeo), QStringLiteral("6"));
    EXPECT_EQ(text(c6, UnloadCell::OperarioId), QString());
    EXPECT_EQ(text(c6, UnloadCell::Gps), QStringLiteral(","));
    EXPECT_EQ(c6.cells[UnloadCell::Gps].icon, TripGrid::kNoGpsIcon);
    for (const TripGrid::Cell &cell : c6.cells)
        EXPECT_EQ(cell.background, TripGrid::kUnloadBackground);

    const TripGrid::Row &c5 = t1.children[3];
    EXPECT_EQ(text(c5, UnloadCell::Hora), QStringLiteral("06:40:00"));
    EXPECT_EQ(text(c5, UnloadCell::Operador), QStringLiteral("Pérez, Juan"));
    EXPECT_EQ(text(c5, UnloadCell::Gps), QStringLiteral("-31.41,-64.18"));
    EXPECT_EQ(c5.cells[UnloadCell::Gps].icon, TripGrid::kGpsIcon);

    const TripGrid::Row &t3 = grid.row(1);
    if (odbc())
        EXPECT_EQ(t3.value(TripCell::IdPres), QVariant(0.0)); // Null id_pres reads as 0
    else
        EXPECT_TRUE(vb::isNull(t3.value(TripCell::IdPres)));
    // The "{" inside a text value makes no phantom unload.
    ASSERT_EQ(t3.children.size(), 2u);
    const TripGrid::Row &c9 = t3.children[0];
    EXPECT_EQ(text(c9, UnloadCell::Operador), QStringLiteral("ANONIMO")); // Null operator
    EXPECT_TRUE(vb::isNull(c9.value(UnloadCell::OperarioId)));
    EXPECT_TRUE(vb::isNull(c9.value(UnloadCell::Gps)));
    EXPECT_EQ(c9.cells[UnloadCell::Gps].icon, TripGrid::kGpsIcon); // Null is not "no position"
    EXPECT_EQ(text(c9, UnloadCell::Suceso), QStringLiteral("tolva {abierta}"));
    const TripGrid::Row &c10 = t3.children[1];
    EXPECT_EQ(text(c10, UnloadCell::Operador), QStringLiteral("ANONIMO")); // "abc" is not an id
    EXPECT_EQ(text(c10, UnloadCell::OperarioId), QStringLiteral("abc"));
    EXPECT_EQ(c10.cells[UnloadCell::Gps].icon, TripGrid::kNoGpsIcon);
}

TEST_P(DownloadTest, RefusedLogin)
{
    seedSmallFarm();
    home.ctx.settings.ClientPassword = QStringLiteral("otra");
    home.ctx.grid.addRow(); // an earlier download's rows go in any case
    CmdDescargar_Click(home.ctx);
    EXPECT_EQ(home.ctx.grid.rowCount(), 0);
    EXPECT_EQ(home.ctx.grid.columns().size(), 16u);
    EXPECT_FALSE(home.overlay.isVisible());
    EXPECT_EQ(home.overlay.text(), QStringLiteral("Cargando... Espere!!!"));
    // Both ways say so: a wrong password never passes for "no new trips".
    EXPECT_EQ(test::eventTexts(home),
              QStringList{"Los datos de usuario o password remotos, no son correctos " + kTime});

    // An apostrophe or a backslash in the password is quoted, not an SQL error.
    RemotePeer::exec(QStringLiteral("update clientes set password = 'a''b\\\\c' where id = 12"));
    home.ctx.settings.ClientPassword = QStringLiteral("a'b\\c");
    useRange(QDate(2024, 1, 5), QDate(2024, 1, 7));
    CmdDescargar_Click(home.ctx);
    EXPECT_EQ(tripIds(), (QStringList{"501", "503"}));
}

TEST_P(DownloadTest, NewTripsAndDateRangeStatements)
{
    seedSmallFarm();
    EXPECT_EQ(tripStatement(home.ctx),
              QStringLiteral("select * from lectura_viajes_feed where cliente = 12 and  "
                             "id_viaje > 0  order by id_viaje"));
    CmdDescargar_Click(home.ctx);
    EXPECT_EQ(tripIds(), (QStringList{"501", "503", "520"}));

    home.exec(QStringLiteral("insert into lectura_viajes (id, fecha) values (501, #05/01/2024#)"));
    EXPECT_EQ(tripFilter(home.ctx), QStringLiteral(" id_viaje > 501 "));
    CmdDescargar_Click(home.ctx);
    EXPECT_EQ(tripIds(), (QStringList{"503", "520"}));

    useRange(QDate(2024, 1, 5), QDate(2024, 1, 7));
    EXPECT_EQ(tripStatement(home.ctx),
              QStringLiteral("select * from lectura_viajes_feed where cliente = 12 and  "
                             "fecha between '20240105' and '20240107'  order by id_viaje"));
    useRange(QDate(), QDate(2024, 1, 7));
    EXPECT_EQ(tripFilter(home.ctx), QStringLiteral(" fecha between '' and '20240107' "));
    CmdDescargar_Click(home.ctx); // the server reads '' as no lower bound
    EXPECT_EQ(test::eventTexts(home), QStringList());
    EXPECT_EQ(loadsStatement(QStringLiteral("501")),
              QStringLiteral("select * from lectura_carga_feed where id_viaje = 501 order by hora"));
    EXPECT_EQ(unloadsStatement(QStringLiteral("501")),
              QStringLiteral("select * from lectura_descarga_feed where id_viaje = 501 order by hora"));

    // No trips: empty grid, overlay untouched, no event.
    useRange(QDate(2030, 1, 1), QDate(2030, 1, 2));
    home.overlay.setValue(42);
    CmdDescargar_Click(home.ctx);
    EXPECT_EQ(home.ctx.grid.rowCount(), 0);
    EXPECT_EQ(home.overlay.value(), 42);
    EXPECT_EQ(test::eventTexts(home), QStringList());
}

TEST_P(DownloadTest, StoredMarkAfterASave)
{
    seedSmallFarm();
    useRange(QDate(2024, 1, 5), QDate(2024, 1, 7));
    CmdDescargar_Click(home.ctx);
    ASSERT_EQ(home.ctx.grid.rowCount(), 2);
    for (const TripGrid::Row &r : home.ctx.grid.rows())
        EXPECT_EQ(r.cells[TripCell::Id].icon, TripGrid::kNoIcon);

    // What the save leaves behind: the trips in lectura_viajes.
    home.exec(QStringLiteral("insert into lectura_viajes (id, fecha) values (501, #05/01/2024#)"));
    home.exec(QStringLiteral("insert into lectura_viajes (id, fecha) values (503, #07/01/2024#)"));
    CmdDescargar_Click(home.ctx);
    ASSERT_EQ(home.ctx.grid.rowCount(), 2);
    for (const TripGrid::Row &r : home.ctx.grid.rows())
        EXPECT_EQ(r.cells[TripCell::Id].icon, TripGrid::kStoredIcon) << text(r, TripCell::Id).toStdString();
    for (const TripGrid::Row &child : home.ctx.grid.row(0).children)
        EXPECT_NE(child.cells[kChildKindCell].icon, TripGrid::kStoredIcon);
}

TEST_P(DownloadTest, HundredAndFirstTripWrapsTheWebProgress)
{
    QStringList trips, loads;
    for (int i = 1; i <= 101; ++i) {
        trips << QStringLiteral("(12, %1, 1, 7, 'R%1', '2024-02-01', 10, 100, 100, 1, '1')").arg(i);
        loads << QStringLiteral("(%1, 31, 'Maíz', 0, 100, 100, '06:00:00', '7', 'T1', 'M', '')")
                     .arg(i);
    }
    RemotePeer::execAll({QStringLiteral("insert into lectura_viajes_feed values ") + trips.join(','),
                         QStringLiteral("insert into lectura_carga_feed (id_viaje, id_alim, "
                                        "des_alim, cantidad, kg_sug, kg_real, hora, operario, "
                                        "id_tablet, nom_tablet, suceso) values ") +
                             loads.join(',')});
    std::vector<int> values;
    home.ctx.grid.setRefreshListener([&] { values.push_back(home.overlay.value()); });
    CmdDescargar_Click(home.ctx);
    EXPECT_EQ(home.ctx.grid.rowCount(), 101);
    if (odbc()) {
        EXPECT_EQ(home.overlay.maximum(), 101);
        EXPECT_EQ(home.overlay.value(), 101);
    } else {
        EXPECT_EQ(home.overlay.maximum(), 100);
        EXPECT_EQ(home.overlay.value(), 1);
        EXPECT_NE(std::find(values.begin(), values.end(), 100), values.end());
    }
}

TEST_P(DownloadTest, SecondDownloadWhileOneRunsIsRefused)
{
    seedSmallFarm();
    useRange(QDate(2024, 1, 5), QDate(2024, 1, 7));
    bool nested = false;
    home.ctx.grid.setRefreshListener([&] {
        if (!nested && home.ctx.grid.rowCount() == 1) {
            nested = true;
            CmdDescargar_Click(home.ctx); // the button pressed during a yield
        }
    });
    CmdDescargar_Click(home.ctx);
    EXPECT_TRUE(nested);
    EXPECT_EQ(tripIds(), (QStringList{"501", "503"}));
    EXPECT_EQ(test::eventTexts(home),
              QStringList{"Ya hay una descarga de viajes en curso, no se inicia otra " + kTime});
    EXPECT_FALSE(home.ctx.downloadRunning);
}

TEST_P(WebOnlyDownloadTest, ServerThatDoesNotAnswerTimesOut)
{
    test::SilentServer silent;
    home.ctx.settings.ServerHost = QStringLiteral("127.0.0.1:%1").arg(silent.port());
    RemoteOptions options = RemoteOptions::tripDownload();
    options.limits.receiveMs = 600;
    QElapsedTimer timer;
    timer.start();
    CmdDescargar_Click(home.ctx, options);
    const qint64 elapsed = timer.elapsed();
    EXPECT_GE(elapsed, options.limits.receiveMs);
    EXPECT_LT(elapsed, options.limits.receiveMs + 1000);
    EXPECT_EQ(test::eventTexts(home),
              QStringList{"Error -2147012894 (The operation timed out) en procedimiento "
                          "CmdDescargar_Click de Formulario FrmSucesos " + kTime});
    EXPECT_EQ(home.ctx.grid.rowCount(), 0);
    EXPECT_FALSE(home.ctx.downloadRunning);
}

// A WEB peer of the test's own, so that it can be stopped mid-download.
class PrivateWebServer
{
public:
    PrivateWebServer() : m_port(test::closedPort())
    {
        m_process.setProgram(QStringLiteral("php"));
        m_process.setArguments({QStringLiteral("-S"), QStringLiteral("127.0.0.1:%1").arg(m_port),
                                QStringLiteral("-t"),
                                QStringLiteral(ZELVANO_SOURCE_DIR "/server")});
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start();
        m_process.waitForStarted();
        for (int i = 0; i < 100; ++i) {
            try {
                WebRequest web;
                web.open(webUrl(host()));
                if (web.send(QStringLiteral("select 1")).status == 200)
                    return;
            } catch (const AppError &) {
            }
            QThread::msleep(30);
        }
    }
    ~PrivateWebServer() { stop(); }
    QString host() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }
    void stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

private:
    int m_port;
    QProcess m_process;
};

TEST_P(DownloadTest, ServerStoppingMidDownloadLeavesNoHalfTrip)
{
    seedSmallFarm();
    useRange(QDate(2024, 1, 5), QDate(2024, 1, 7));
    home.exec(QStringLiteral("insert into lectura_viajes (id, fecha) values (501, #05/01/2024#)"));
    PrivateWebServer web;
    if (!odbc())
        home.ctx.settings.ServerHost = web.host();
    // Stop the server once trip 503's row is in the grid, before its unloads are read.
    bool stopped = false;
    home.ctx.grid.setRefreshListener([&] {
        const TripGrid &g = home.ctx.grid;
        if (stopped || g.rowCount() != 2 || g.childCount(1) != 0)
            return;
        stopped = true;
        if (odbc()) {
            // End the download's connection from the server side.
            OdbcConnection admin(odbcConnectionString(RemotePeer::odbcHost()));
            OdbcResult others = admin.openRecordset(QStringLiteral(
                "select id from information_schema.processlist where user = 'qk' and "
                "id <> connection_id()"));
            for (; !others.eof(); others.moveNext())
                admin.execute(QStringLiteral("kill ") + vb::joinText(others.value(0)));
        } else {
            web.stop();
        }
    });
    CmdDescargar_Click(home.ctx, oneAtATime());
    ASSERT_TRUE(stopped);
    EXPECT_EQ(tripIds(), QStringList{"501"}); // 503 was half read and is gone
    EXPECT_EQ(home.ctx.grid.childCount(0), 4);
    // The whole trip kept says it is stored, as after a download that ended well.
    EXPECT_EQ(home.ctx.grid.row(0).cells[TripCell::Id].icon, TripGrid::kStoredIcon);
    ASSERT_TRUE(home.ctx.grid.failure().has_value());
    const QStringList events = test::eventTexts(home);
    ASSERT_EQ(events.size(), 1);
    EXPECT_TRUE(events[0].startsWith(QStringLiteral("Error ")));
    EXPECT_TRUE(events[0].endsWith(
        QStringLiteral(" en procedimiento CmdDescargar_Click de Formulario FrmSucesos ") + kTime))
        << events[0].toStdString();
    if (!odbc())
        EXPECT_TRUE(events[0].startsWith(QStringLiteral("Error -2147012867 ")))
            << events[0].toStdString();
    // A failure is no work under way: the wait panel goes.
    EXPECT_FALSE(home.overlay.isVisible());
}

TEST_P(WebOnlyDownloadTest, FailedStatementIsAnErrorNotAnEmptyAnswer)
{
    seedSmallFarm();
    useRange(QDate(2024, 1, 5), QDate(2024, 1, 7));
    bool broken = false;
    home.ctx.grid.setRefreshListener([&] {
        if (!broken && home.ctx.grid.rowCount() == 2 && home.ctx.grid.childCount(1) == 0) {
            broken = true;
            RemotePeer::exec(QStringLiteral("rename table lectura_descarga_feed to descargas_off"));
        }
    });
    CmdDescargar_Click(home.ctx, oneAtATime());
    RemotePeer::exec(QStringLiteral("rename table descargas_off to lectura_descarga_feed"));
    ASSERT_TRUE(broken);
    EXPECT_EQ(tripIds(), QStringList{"501"});
    const QStringList events = test::eventTexts(home);
    ASSERT_EQ(events.size(), 1);
    EXPECT_TRUE(events[0].startsWith(QStringLiteral("Error -2147467259 (The server answered "
                                                    "status 500: ")))
        << events[0].toStdString();
    EXPECT_TRUE(events[0].contains(QStringLiteral("lectura_descarga_feed")));
}

TEST_P(WebOnlyDownloadTest, TripIdThatIsNotAWholeNumberIsLeftOut)
{
    RemotePeer::exec(QStringLiteral("alter table lectura_viajes_feed modify id_viaje varchar(20)"));
    RemotePeer::execAll({
        QStringLiteral("insert into lectura_viajes_feed values "
                       "(12, '7 or 1=1', 1, 7, 'Raro', '2024-01-05', 1, 1, 1, 1, '1'),"
                       "(12, '8', 1, 7, 'Bien', '2024-01-05', 1, 1, 1, 1, '1')"),
        QStringLiteral("insert into lectura_carga_feed (id_viaje, des_alim, hora, operario) "
                       "values (7, 'x', '06:00:00', '7'), (8, 'y', '06:00:00', '7')"),
    });
    CmdDescargar_Click(home.ctx);
    RemotePeer::reloadSchema();
    EXPECT_EQ(tripIds(), QStringList{"8"});
    EXPECT_EQ(test::eventTexts(home),
              QStringList{"Viaje con id '7 or 1=1' no descargado: el id no es un número entero " +
                          kTime});
}

TEST_P(WebOnlyDownloadTest, CommandLinePrintsTheGridAsJson)
{
    seedSmallFarm();
    home.ctx.settings = {};
    home.exec(QStringLiteral("delete from mi_empresa"));
    home.exec(QStringLiteral("insert into mi_empresa (razon_social, id_cliente_remoto, "
                             "servidor_remoto, password_remoto, modo_remoto) values "
                             "('Demo', '12', '%1', 'secreto', 'WEB')")
                  .arg(RemotePeer::webHost()));
    QProcess zelvano;
    zelvano.start(QStringLiteral(ZELVANO_EXECUTABLE),
                  {QStringLiteral("--home"), home.dir(), QStringLiteral("download"),
                   QStringLiteral("--from"), QStringLiteral("05/01/2024"), QStringLiteral("--to"),
                   QStringLiteral("07/01/2024"), QStringLiteral("--json")});
    ASSERT_TRUE(zelvano.waitForFinished(30000));
    EXPECT_EQ(zelvano.exitCode(), 0) << zelvano.readAllStandardError().toStdString();
    const json::JsonValue trips = json::ParseJson(QString::fromUtf8(zelvano.readAllStandardOutput()));
    ASSERT_TRUE(trips.isCollection());
    ASSERT_EQ(trips.count(), 2);
    const json::JsonValue &t1 = trips.elements()[0];
    EXPECT_EQ(t1.item(QStringLiteral("cells")).elements()[0].text(), QStringLiteral("501"));
    EXPECT_EQ(t1.item(QStringLiteral("cells")).count(), 16);
    EXPECT_FALSE(t1.item(QStringLiteral("stored")).boolean());
    const json::JsonValue &children = t1.item(QStringLiteral("children"));
    ASSERT_EQ(children.count(), 4);
    EXPECT_EQ(children.elements()[0].item(QStringLiteral("background")).text(),
              QStringLiteral("C0FFC0"));
    EXPECT_TRUE(children.elements()[0].item(QStringLiteral("icon")).isNull());
    EXPECT_EQ(children.elements()[2].item(QStringLiteral("background")).text(),
              QStringLiteral("FFFFC0"));
    EXPECT_EQ(children.elements()[2].item(QStringLiteral("icon")).text(), QStringLiteral("8"));
    EXPECT_EQ(children.elements()[3].item(QStringLiteral("icon")).text(), QStringLiteral("7"));
    EXPECT_EQ(children.elements()[1].item(QStringLiteral("cells")).elements()[3].text(),
              QStringLiteral("Pérez, Juan"));
}

} // namespace
} // namespace zelvano
