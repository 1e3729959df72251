#pragma once

// Builds trip grids with the download's layout: sixteen columns, one row per
// trip, its loads ("Carga") and unloads ("Descarga") as child rows.

#include "common/tripgrid.h"

#include <QString>
#include <QVariant>

namespace zelvano::test {

struct TripCells
{
    QVariant id = 1;
    QVariant fecha = QStringLiteral("2026-12-01");
    QVariant receta = QStringLiteral("Recria");
    QVariant cabezas = QStringLiteral("100");
    QVariant kgSug = QStringLiteral("0");
    QVariant kgReal = QStringLiteral("0");
    QVariant idReceta = QStringLiteral("3");
    QVariant turno = QStringLiteral("1");
    QVariant idPrg = QStringLiteral("0");
    QVariant idPres = QStringLiteral("0");
};

struct LoadCells
{
    QVariant hora = QStringLiteral("06:00:00");
    QVariant alimento = QStringLiteral("Maiz");
    QVariant kgSug = QStringLiteral("0");
    QVariant kgReal = QStringLiteral("0");
    QVariant idTablet = QStringLiteral("T1");
    QVariant nomTablet = QStringLiteral("Tablet 1");
    QVariant idAlim = QStringLiteral("1");
    QVariant operario = QStringLiteral("5");
    QVariant suceso = QString();
    QString kind = QStringLiteral("Carga");
};

struct UnloadCells
{
    QVariant hora = QStringLiteral("07:00:00");
    QVariant rodeo = QStringLiteral("Corral");
    QVariant kgSug = QStringLiteral("0");
    QVariant kgReal = QStringLiteral("0");
    QVariant categoria = QStringLiteral("1");
    QVariant actividad = QStringLiteral("2");
    QVariant corral = QStringLiteral("3");
    QVariant cabezas = QStringLiteral("50");
    QVariant idTablet = QStringLiteral("T1");
    QVariant nomTablet = QStringLiteral("Tablet 1");
    QVariant idRodeo = QStringLiteral("1");
    QVariant operario = QStringLiteral("5");
    QVariant gps = QStringLiteral("-34.1,-60.2");
    QVariant suceso = QString();
    QString kind = QStringLiteral("Descarga");
};

inline void setTripColumns(TripGrid &grid)
{
    static const char *const captions[16] = {"Id",         "Fecha",     "Receta",    "Cabezas Total",
                                             "Kg Sugeridos", "Kg Reales", "id receta", "turno",
                                             "id prg",     "id pres",   "",          "",
                                             "",           "",          "GPS",       "Suceso"};
    grid.clearColumns();
    grid.clearRows();
    for (int i = 0; i < 16; ++i) {
        TripGrid::Column c;
        c.index = i;
        c.caption = QString::fromLatin1(captions[i]);
        c.width = 40;
        c.visible = !(i >= 6 && i <= 13);
        c.tree = i == 0;
        grid.addColumn(c);
    }
}

inline int addTrip(TripGrid &grid, const TripCells &t, bool stored = false)
{
    const int r = grid.addRow();
    const QVariant cells[10] = {t.id,    t.fecha,    t.receta, t.cabezas, t.kgSug,
                                t.kgReal, t.idReceta, t.turno,  t.idPrg,   t.idPres};
    for (int i = 0; i < 10; ++i)
        grid.setValue(r, i, cells[i]);
    if (stored)
        grid.setIcon(r, 0, TripGrid::kStoredIcon);
    return r;
}

inline void addLoad(TripGrid &grid, int trip, const LoadCells &l)
{
    const int c = grid.addChild(trip);
    grid.setChildBackground(trip, c, TripGrid::kLoadBackground);
    grid.setChildValue(trip, c, 0, l.kind);
    grid.setChildValue(trip, c, 1, l.hora);
    grid.setChildValue(trip, c, 2, l.alimento);
    grid.setChildValue(trip, c, 3, QStringLiteral("Perez, Juan"));
    grid.setChildValue(trip, c, 4, l.kgSug);
    grid.setChildValue(trip, c, 5, l.kgReal);
    grid.setChildValue(trip, c, 6, l.idTablet);
    grid.setChildValue(trip, c, 7, l.nomTablet);
    grid.setChildValue(trip, c, 8, l.idAlim);
    grid.setChildValue(trip, c, 9, l.operario);
    grid.setChildValue(trip, c, 15, l.suceso);
}

inline void addUnload(TripGrid &grid, int trip, const UnloadCells &u)
{
    const int c = grid.addChild(trip);
    grid.setChildBackground(trip, c, TripGrid::kUnloadBackground);
    grid.setChildValue(trip, c, 0, u.kind);
    grid.setChildValue(trip, c, 1, u.hora);
    grid.setChildValue(trip, c, 2, u.rodeo);
    grid.setChildValue(trip, c, 3, QStringLiteral("Perez, Juan"));
    grid.setChildValue(trip, c, 4, u.kgSug);
    grid.setChildValue(trip, c, 5, u.kgReal);
    grid.setChildValue(trip, c, 6, u.categoria);
    grid.setChildValue(trip, c, 7, u.actividad);
    grid.setChildValue(trip, c, 8, u.corral);
    grid.setChildValue(trip, c, 9, u.cabezas);
    grid.setChildValue(trip, c, 10, u.idTablet);
    grid.setChildValue(trip, c, 11, u.nomTablet);
    grid.setChildValue(trip, c, 12, u.idRodeo);
    grid.setChildValue(trip, c, 13, u.operario);
    grid.setChildValue(trip, c, 14, u.gps);
    grid.setChildIcon(trip, c, 14, TripGrid::kGpsIcon);
    grid.setChildValue(trip, c, 15, u.suceso);
}

} // namespace zelvano::test
