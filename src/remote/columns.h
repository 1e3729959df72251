#pragma once

#include <QString>

// The columns of the remote tables that the program reads: a WEB answer names
// them, an ODBC result places them. "select *" answers follow the tables'
// order (server/remote.sql).
namespace zelvano {

struct RemoteColumn
{
    QString key;
    int position;
};

namespace RemoteTrip { // lectura_viajes_feed
inline const RemoteColumn IdViaje{QStringLiteral("id_viaje"), 1};
inline const RemoteColumn Turno{QStringLiteral("turno"), 2};
inline const RemoteColumn IdReceta{QStringLiteral("id_receta"), 3};
inline const RemoteColumn DesReceta{QStringLiteral("des_receta"), 4};
inline const RemoteColumn Fecha{QStringLiteral("fecha"), 5};
inline const RemoteColumn CabTot{QStringLiteral("cab_tot"), 6};
inline const RemoteColumn KgTotSug{QStringLiteral("kg_tot_sug"), 7};
inline const RemoteColumn KgTotReal{QStringLiteral("kg_tot_real"), 8};
inline const RemoteColumn IdPrg{QStringLiteral("id_prg"), 9};
inline const RemoteColumn IdPres{QStringLiteral("id_pres"), 10};
} // namespace RemoteTrip

namespace RemoteLoad { // lectura_carga_feed
inline const RemoteColumn IdAlim{QStringLiteral("id_alim"), 1};
inline const RemoteColumn DesAlim{QStringLiteral("des_alim"), 2};
inline const RemoteColumn KgSug{QStringLiteral("kg_sug"), 4};
inline const RemoteColumn KgReal{QStringLiteral("kg_real"), 5};
inline const RemoteColumn Hora{QStringLiteral("hora"), 6};
inline const RemoteColumn Operario{QStringLiteral("operario"), 7};
inline const RemoteColumn IdTablet{QStringLiteral("id_tablet"), 8};
inline const RemoteColumn NomTablet{QStringLiteral("nom_tablet"), 9};
inline const RemoteColumn Suceso{QStringLiteral("suceso"), 10};
inline const RemoteColumn IdCarga{QStringLiteral("id_carga"), 11}; // the server's row id
} // namespace RemoteLoad

namespace RemoteUnload { // lectura_descarga_feed
inline const RemoteColumn IdRodeo{QStringLiteral("id_rodeo"), 1};
inline const RemoteColumn NomRodeo{QStringLiteral("nom_rodeo"), 2};
inline const RemoteColumn Cabezas{QStringLiteral("cabezas"), 3};
inline const RemoteColumn Categoria{QStringLiteral("categoria"), 4};
inline const RemoteColumn Actividad{QStringLiteral("actividad"), 5};
inline const RemoteColumn Corral{QStringLiteral("corral"), 6};
inline const RemoteColumn IdDescarga{QStringLiteral("id_descarga"), 7}; // the server's row id
inline const RemoteColumn KgSug{QStringLiteral("kg_sug"), 8};
inline const RemoteColumn KgReal{QStringLiteral("kg_real"), 9};
inline const RemoteColumn Hora{QStringLiteral("hora"), 10};
inline const RemoteColumn Operario{QStringLiteral("operario"), 11};
inline const RemoteColumn IdTablet{QStringLiteral("id_tablet"), 12};
inline const RemoteColumn NomTablet{QStringLiteral("nom_tablet"), 13};
inline const RemoteColumn Gps{QStringLiteral("gps"), 14};
inline const RemoteColumn Suceso{QStringLiteral("suceso"), 15};
} // namespace RemoteUnload

namespace RemoteProduction { // cabezas_produccion
inline const RemoteColumn Id{QStringLiteral("id"), 1};
inline const RemoteColumn Fecha{QStringLiteral("fecha"), 2};
inline const RemoteColumn Usuario{QStringLiteral("usuario"), 3};
inline const RemoteColumn Turno{QStringLiteral("turno"), 4};
inline const RemoteColumn TotalCabezas{QStringLiteral("total_cabezas"), 5};
inline const RemoteColumn TotalLitros{QStringLiteral("total_litros"), 6};
inline const RemoteColumn IdPrg{QStringLiteral("id_prg"), 7};
} // namespace RemoteProduction

namespace RemoteProductionDetail { // detalle_cabezas_produccion
inline const RemoteColumn Id{QStringLiteral("id"), 0};
inline const RemoteColumn Rodeo{QStringLiteral("rodeo"), 1};
inline const RemoteColumn Cabezas{QStringLiteral("cabezas"), 2};
inline const RemoteColumn Litros{QStringLiteral("litros"), 3};
inline const RemoteColumn IdDetalle{QStringLiteral("id_detalle"), 4};
} // namespace RemoteProductionDetail

} // namespace zelvano
