#pragma once

// Column positions of the suite's local tables that the program reads or
// writes by position (schema/local.sql keeps this order). Every place that
// adds a row or reads "select *" by position names the column here.
namespace zelvano {

namespace MiEmpresa { // the settings row
enum : int {
    CompanyField0 = 0,
    CompanyField1 = 1,
    CompanyField2 = 2,
    CompanyField3 = 3,
    ClientId = 20,
    ServerHost = 21,
    ClientPassword = 22,
    RemoteMode = 23,
    UseDownloadInterval = 24,
    DownloadEveryMinutes = 25,
    CsvImportEnabled = 29,
    ImportFolder = 30,
    ImportFileName = 31,
    ImportTime = 32,
    ImportSoftware = 33,
    CsvSplitMark = 34,
    CsvDecimalSeparator = 35,
    HeadCountFromFeeding = 43,
    HeadCountFromMilk = 44,
};
} // namespace MiEmpresa

namespace Sucesos {
enum : int { Id = 0, Fecha = 1, Descripcion = 2 };
} // namespace Sucesos

namespace Usuario {
enum : int { Id = 0, Apellido = 1, Nombre = 2 };
} // namespace Usuario

namespace Rodeos {
enum : int {
    Id = 0,
    IdCat = 1,
    Descripcion = 2,
    Cabezas = 3,
    Codigos = 4,
    Actividad = 8,
    Corral = 9,
};
} // namespace Rodeos

namespace Dietas {
enum : int { Id = 0, Nombre = 1, Delpro = 2 };
} // namespace Dietas

namespace PrescripcionViajes {
enum : int {
    IdPrescripcion = 0,
    IdViaje = 1,
    DesReceta = 2,
    Kilos = 3,
    Hora = 4,
    Turno = 5,
    Receta = 6,
};
} // namespace PrescripcionViajes

namespace PrescripcionDetalleAlimentos {
enum : int { IdPrescripcion = 0, IdViaje = 1, IdAlimento = 2, Nombre = 3, Kilos = 4 };
} // namespace PrescripcionDetalleAlimentos

namespace LecturaViajes {
enum : int {
    Id = 0,
    Turno = 1,
    IdReceta = 2,
    DesReceta = 3,
    Fecha = 4,
    CabTot = 5,
    KgTotSug = 6,
    KgTotReal = 7,
    IdPrg = 8,
    IdPres = 9,
    KgTotPres = 10,
};
} // namespace LecturaViajes

namespace LecturaCarga {
enum : int {
    IdViaje = 0,
    IdAlim = 1,
    DesAlim = 2,
    Cantidad = 3,
    KgSug = 4,
    KgReal = 5,
    Hora = 6,
    Operario = 7,
    IdTablet = 8,
    NomTablet = 9,
    KgPrescriptos = 10,
    IdMod = 11,
    Suceso = 12,
};
} // namespace LecturaCarga

namespace LecturaDescarga {
enum : int {
    IdViaje = 0,
    IdRodeo = 1,
    Descripcion = 2,
    Cabezas = 3,
    Categoria = 4,
    Actividad = 5,
    Corral = 6,
    KgSug = 7,
    KgReal = 8,
    Hora = 9,
    Operario = 10,
    IdTablet = 11,
    NomTablet = 12,
    Gps = 13,
    KgPrescriptos = 14,
    IdMod = 15,
    Suceso = 16,
};
} // namespace LecturaDescarga

namespace LecturaCargaDetalleConc {
enum : int {
    IdMod = 0,
    IdViaje = 1,
    IdAlim = 2,
    IdAli = 3,
    Nombre = 4,
    Prop = 5,
    KgSug = 6,
    KgReal = 7,
};
} // namespace LecturaCargaDetalleConc

namespace ProduccionLactea {
enum : int {
    Id = 0,
    Fecha = 1,
    Usuario = 2,
    Turno = 3,
    TotalCabezas = 4,
    TotalLitros = 5,
    Actualizado = 6,
    Proceso = 7,
    IdRemoto = 8,
};
} // namespace ProduccionLactea

namespace DetalleProduccionLactea {
enum : int { Id = 0, Rodeo = 1, Cabezas = 2, Litros = 3 };
} // namespace DetalleProduccionLactea

} // namespace zelvano
