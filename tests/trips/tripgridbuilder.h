#pragma once

// Builds trip grids with the download's layout: sixteen columns, one row per
// trip, its loads ("Carga") and unloads ("Descarga") as child rows.

#include "common/gridcolumns.h"
#include "common/tripgrid.h"
#include "download/download.h"

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

// The download's own layout: the builder and the download cannot disagree.
inline void setTripColumns(TripGrid &grid)
{
    resetTripGrid(grid);
}

inline int addTrip(TripGrid &grid, const TripCells &t, bool stored = false)
{
    const int r = grid.addRow();
    grid.setValue(r, TripCell::Id, t.id);
    grid.setValue(r, TripCell::Fecha, t.fecha);
    grid.setValue(r, TripCell::Receta, t.receta);
    grid.setValue(r, TripCell::Cabezas, t.cabezas);
    grid.setValue(r, TripCell::KgSug, t.kgSug);
    grid.setValue(r, TripCell::KgReal, t.kgReal);
    grid.setValue(r, TripCell::IdReceta, t.idReceta);
    grid.setValue(r, TripCell::Turno, t.turno);
    grid.setValue(r, TripCell::IdPrg, t.idPrg);
    grid.setValue(r, TripCell::IdPres, t.idPres);
    if (stored)
        grid.setIcon(r, TripCell::Id, TripGrid::kStoredIcon);
    return r;
}

inline void addLoad(TripGrid &grid, int trip, const LoadCells &l)
{
    const int c = grid.addChild(trip);
    grid.setChildBackground(trip, c, TripGrid::kLoadBackground);
    grid.setChildValue(trip, c, LoadCell::Kind, l.kind);
    grid.setChildValue(trip, c, LoadCell::Hora, l.hora);
    grid.setChildValue(trip, c, LoadCell::Alimento, l.alimento);
    grid.setChildValue(trip, c, LoadCell::Operador, QStringLiteral("Perez, Juan"));
    grid.setChildValue(trip, c, LoadCell::KgSug, l.kgSug);
    grid.setChildValue(trip, c, LoadCell::KgReal, l.kgReal);
    grid.setChildValue(trip, c, LoadCell::IdTablet, l.idTablet);
    grid.setChildValue(trip, c, LoadCell::NomTablet, l.nomTablet);
    grid.setChildValue(trip, c, LoadCell::IdAlim, l.idAlim);
    grid.setChildValue(trip, c, LoadCell::OperarioId, l.operario);
    grid.setChildValue(trip, c, LoadCell::Suceso, l.suceso);
}

inline void addUnload(TripGrid &grid, int trip, const UnloadCells &u)
{
    const int c = grid.addChild(trip);
    grid.setChildBackground(trip, c, TripGrid::kUnloadBackground);
    grid.setChildValue(trip, c, UnloadCell::Kind, u.kind);
    grid.setChildValue(trip, c, UnloadCell::Hora, u.hora);
    grid.setChildValue(trip, c, UnloadCell::Rodeo, u.rodeo);
    grid.setChildValue(trip, c, UnloadCell::Operador, QStringLiteral("Perez, Juan"));
    grid.setChildValue(trip, c, UnloadCell::KgSug, u.kgSug);
    grid.setChildValue(trip, c, UnloadCell::KgReal, u.kgReal);
    grid.setChildValue(trip, c, UnloadCell::Categoria, u.categoria);
    grid.setChildValue(trip, c, UnloadCell::Actividad, u.actividad);
    grid.setChildValue(trip, c, UnloadCell::Corral, u.corral);
    grid.setChildValue(trip, c, UnloadCell::Cabezas, u.cabezas);
    grid.setChildValue(trip, c, UnloadCell::IdTablet, u.idTablet);
    grid.setChildValue(trip, c, UnloadCell::NomTablet, u.nomTablet);
    grid.setChildValue(trip, c, UnloadCell::IdRodeo, u.idRodeo);
    grid.setChildValue(trip, c, UnloadCell::OperarioId, u.operario);
    grid.setChildValue(trip, c, UnloadCell::Gps, u.gps);
    grid.setChildIcon(trip, c, UnloadCell::Gps, TripGrid::kGpsIcon);
    grid.setChildValue(trip, c, UnloadCell::Suceso, u.suceso);
}

} // namespace zelvano::test
