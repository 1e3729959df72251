#include "common/error.h"
#include "store/localconnection.h"
#include "store/schema.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace zelvano;

namespace {

QStringList columnsOf(LocalConnection &db, const QString &table)
{
    QStringList names;
    for (const ColumnInfo &c : db.tableInfo(table).columns)
        names << c.name.toLower();
    return names;
}

} // namespace

// Rows are added by position: the column order is part of the schema.
TEST(Schema, TripTablesInTheirColumnOrder)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("new.db");
    createLocalDatabase(path);
    LocalConnection db;
    db.open(path);
    EXPECT_EQ(columnsOf(db, "lectura_viajes"),
              QStringList({"id", "turno", "id_receta", "des_receta", "fecha", "cab_tot", "kg_tot_sug",
                           "kg_tot_real", "id_prg", "id_pres", "kg_tot_pres"}));
    const QStringList carga = columnsOf(db, "lectura_carga");
    ASSERT_EQ(carga.size(), 13);
    EXPECT_EQ(carga[10], "kg_prescriptos");
    EXPECT_EQ(carga[11], "id_mod");
    EXPECT_EQ(carga[12], "suceso");
    const QStringList descarga = columnsOf(db, "lectura_descarga");
    ASSERT_EQ(descarga.size(), 17);
    EXPECT_EQ(descarga[9], "hora");
    EXPECT_EQ(descarga[13], "gps");
    EXPECT_EQ(descarga[15], "id_mod");
    EXPECT_EQ(db.tableInfo("lectura_descarga").autoNumberColumn, 15);
    EXPECT_EQ(db.tableInfo("lectura_viajes").autoNumberColumn, -1);
    EXPECT_EQ(columnsOf(db, "produccion_lactea").size(), 9);
    EXPECT_GE(columnsOf(db, "mi_empresa").size(), 45);

    Recordset company = db.openRecordset("select * from mi_empresa");
    EXPECT_EQ(company.recordCount(), 1);
}

TEST(Schema, NeverOverwritesAFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("new.db");
    createLocalDatabase(path);
    try {
        createLocalDatabase(path);
        FAIL() << "an existing database was overwritten";
    } catch (const AppError &e) {
        EXPECT_EQ(e.number(), ErrNo::FileAlreadyExists);
    }
    LocalConnection db;
    db.open(path);
    EXPECT_EQ(db.openRecordset("select count(*) from mi_empresa").value(0).toInt(), 1);
}
