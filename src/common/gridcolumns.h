#pragma once

// The sixteen cells of the trip grid, per level. The download fills them, the
// save maps them onto the local tables, the window and the print-out show
// them: every place that reads or writes a cell names it here.
namespace zelvano {

inline constexpr int kTripGridColumns = 16;

// A trip row.
namespace TripCell {
enum : int {
    Id = 0,       // id_viaje; the stored mark sits on this cell
    Fecha = 1,
    Receta = 2,   // des_receta
    Cabezas = 3,  // cab_tot
    KgSug = 4,    // kg_tot_sug
    KgReal = 5,   // kg_tot_real
    IdReceta = 6,
    Turno = 7,
    IdPrg = 8,
    IdPres = 9,
};
} // namespace TripCell

// A load row under its trip.
namespace LoadCell {
enum : int {
    Kind = 0,      // "Carga"
    Hora = 1,
    Alimento = 2,  // des_alim
    Operador = 3,  // the operator's name
    KgSug = 4,
    KgReal = 5,
    IdTablet = 6,
    NomTablet = 7,
    IdAlim = 8,
    OperarioId = 9,
    Suceso = 15,
};
} // namespace LoadCell

// An unload row under its trip.
namespace UnloadCell {
enum : int {
    Kind = 0,      // "Descarga"
    Hora = 1,
    Rodeo = 2,     // nom_rodeo
    Operador = 3,  // the operator's name
    KgSug = 4,
    KgReal = 5,
    Categoria = 6,
    Actividad = 7,
    Corral = 8,
    Cabezas = 9,
    IdTablet = 10,
    NomTablet = 11,
    IdRodeo = 12,
    OperarioId = 13,
    Gps = 14,      // the position, with its icon
    Suceso = 15,
};
} // namespace UnloadCell

// The first cell of every child row says which kind it is.
inline constexpr int kChildKindCell = 0;

} // namespace zelvano
