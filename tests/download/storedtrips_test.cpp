#include "support/testsupport.h"

#include "common/gridcolumns.h"
#include "common/tripgrid.h"
#include "common/vb.h"
#include "download/download.h"
#include "download/storedtrips.h"

#include <gtest/gtest.h>

#include <limits>

namespace zelvano {
namespace {

class StoredTripsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        home.connect();
        home.exec(QStringLiteral("insert into usuario (id, apellido, nombre) values (7, 'Pérez', 'Juan')"));
        home.exec(QStringLiteral("insert into usuario (id, apellido, nombre) values (8, 'Gómez', NULL)"));
    }
    QString name(const QString &id)
    {
        QString v = id;
        Buscar_Usuario(home.ctx, v);
        return v;
    }
    test::TestHome home;
};

TEST_F(StoredTripsTest, OperatorNames)
{
    EXPECT_EQ(name(QStringLiteral("7")), QStringLiteral("Pérez, Juan"));
    EXPECT_EQ(name(QStringLiteral(" 7 ")), QStringLiteral("Pérez, Juan"));
    EXPECT_EQ(name(QStringLiteral("8")), QStringLiteral("Gómez, "));
    EXPECT_EQ(name(QStringLiteral("99")), QStringLiteral("ANONIMO"));
    // A whole number in any plain notation names the operator, as the save
    // stores it.
    for (const char *same : {"07", "7.0", "+7", " 7.00 ", "7."})
        EXPECT_EQ(name(QString::fromLatin1(same)), QStringLiteral("Pérez, Juan")) << same;
    EXPECT_EQ(vb::plainWholeNumber(QStringLiteral("-2147483648")), std::numeric_limits<qint32>::min());
    EXPECT_EQ(vb::plainWholeNumber(QStringLiteral("2147483647")), std::numeric_limits<qint32>::max());
    // Not an id: no statement is built from it.
    for (const char *odd : {"", "abc", "7.5", "7 or 1=1", "-", "1e3", "7.0.0", ".7", "inf",
                            "2147483648", "99999999999999999999", "٧"})
        EXPECT_EQ(name(QString::fromUtf8(odd)), QStringLiteral("ANONIMO")) << odd;
    EXPECT_EQ(test::eventTexts(home), QStringList());

    EXPECT_TRUE(isWholeNumberText(QStringLiteral("-12")));
    EXPECT_TRUE(isWholeNumberText(QStringLiteral("+3")));
    EXPECT_FALSE(isWholeNumberText(QStringLiteral("12 3")));
    EXPECT_FALSE(isWholeNumberText(QStringLiteral("1234567890123456789"))); // too long for SQL ids
}

TEST_F(StoredTripsTest, NewTripsStartPastTheStoredAndTheRefusedOnes)
{
    home.ctx.newTripsOnly = true;
    EXPECT_EQ(tripFilter(home.ctx), QStringLiteral(" id_viaje > 0 "));
    home.exec(QStringLiteral("insert into lectura_viajes (id) values (500)"));
    home.exec(
        QStringLiteral("insert into zelvano_viajes_rechazados (id, motivo) values (480, 'x')"));
    EXPECT_EQ(tripFilter(home.ctx), QStringLiteral(" id_viaje > 500 "));
    // The highest trip of the last save was refused: it is not asked again.
    home.exec(
        QStringLiteral("insert into zelvano_viajes_rechazados (id, motivo) values (507, 'x')"));
    EXPECT_EQ(tripFilter(home.ctx), QStringLiteral(" id_viaje > 507 "));
    // A database that never had the table: nothing was refused in it.
    home.ctx.db().execute(QStringLiteral("drop table zelvano_viajes_rechazados"));
    EXPECT_EQ(tripFilter(home.ctx), QStringLiteral(" id_viaje > 500 "));

    home.ctx.settings.ClientId = QStringLiteral(" 12 ");
    EXPECT_EQ(tripStatement(home.ctx), QStringLiteral("select * from lectura_viajes_feed where "
                                                      "cliente = 12 and  id_viaje > 500  order "
                                                      "by id_viaje"));
    // The date tab asks for the range, refused trips included.
    home.ctx.newTripsOnly = false;
    home.ctx.DTdesde = QDate(2024, 1, 5);
    home.ctx.DThasta = QDate(2024, 1, 7);
    EXPECT_EQ(tripFilter(home.ctx), QStringLiteral(" fecha between '20240105' and '20240107' "));
}

TEST_F(StoredTripsTest, StoredMarksAndTheirErrorEvent)
{
    TripGrid &grid = home.ctx.grid;
    resetTripGrid(grid);
    Comparar_Guardados(home.ctx, grid); // an empty grid: nothing to do
    EXPECT_EQ(test::eventTexts(home), QStringList());

    home.exec(QStringLiteral("insert into lectura_viajes (id) values (501)"));
    for (const char *id : {"500", "501", "502"}) {
        const int row = grid.addRow();
        grid.setValue(row, TripCell::Id, QString::fromLatin1(id));
        grid.setChildValue(row, grid.addChild(row), LoadCell::Kind, QStringLiteral("Carga"));
    }
    grid.setValue(2, TripCell::Id, QVariant()); // a Null id stops the walk
    home.exec(QStringLiteral("insert into lectura_viajes (id) values (502)"));
    Comparar_Guardados(home.ctx, grid);
    EXPECT_EQ(grid.row(0).cells[TripCell::Id].icon, TripGrid::kNoIcon);
    EXPECT_EQ(grid.row(1).cells[TripCell::Id].icon, TripGrid::kStoredIcon);
    EXPECT_EQ(grid.child(1, 0).cells[TripCell::Id].icon, TripGrid::kNoIcon);
    EXPECT_EQ(grid.row(2).cells[TripCell::Id].icon, TripGrid::kNoIcon);
    EXPECT_EQ(test::eventTexts(home),
              QStringList{"Error 94 (Invalid use of Null) en procedimiento Comparar_Guardados de "
                          "Formulario FrmSucesos 10:00:00"});
}

} // namespace
} // namespace zelvano
