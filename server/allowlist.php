<?php
// The statements the strict server runs: the program's own, one shape each.
// A statement runs only when its whole text has one of these shapes (blanks
// between words may be any run of blanks, tabs or line ends, and the text may
// start and end with blanks) and every value in it is bound to the farm that
// logged in. Anything else is refused with 403.
//
// Placeholders, each one value of the statement:
//   {farm}    a whole number equal to the authenticated farm's id
//   {trip}    a whole number naming one of the farm's trips (lectura_viajes_feed)
//   {record}  a whole number naming one of the farm's production records
//             (cabezas_produccion)
//   {record?} the same, or a record that no longer exists (the program
//             deletes a record's details after the record)
//   {int}     any whole number
//   {ints}    whole numbers separated by commas
//   {date}    eight digits between apostrophes ('20240131')
//   {text}    a text between apostrophes whose apostrophes and backslashes
//             are doubled (as the program writes every text)
//   {rows}    one or more of the entry's 'row' shapes, separated by commas
// A placeholder may stand between apostrophes ('{farm}') where the program
// quotes a number.
//
// A new statement of the program is one more entry here.
return [
    // The login of every job.
    'login' => [
        'shape' => 'select * from clientes where id = {farm} and password = {text}',
    ],
    // Trip download: the new trips, the trips of a date range, and each trip's
    // loads and unloads.
    'trips after' => [
        'shape' => 'select * from lectura_viajes_feed where cliente = {farm} and id_viaje > {int} order by id_viaje',
    ],
    'trips between' => [
        'shape' => 'select * from lectura_viajes_feed where cliente = {farm} and fecha between {date} and {date} order by id_viaje',
    ],
    'loads' => [
        'shape' => 'select * from lectura_carga_feed where id_viaje = {trip} order by hora',
    ],
    'unloads' => [
        'shape' => 'select * from lectura_descarga_feed where id_viaje = {trip} order by hora',
    ],
    // Production synchronisation, download.
    'complete records' => [
        'shape' => 'select id from cabezas_produccion where cliente = {farm} and id in (select id from detalle_cabezas_produccion)',
    ],
    'records by id' => [
        'shape' => 'select * from cabezas_produccion where cliente = {farm} and id in ({ints}) order by id',
    ],
    'record details' => [
        'shape' => 'select * from detalle_cabezas_produccion where id = {record}',
    ],
    // Production synchronisation, upload.
    'records without details' => [
        'shape' => 'select c.id, c.id_prg, c.fecha, c.usuario, c.turno, c.total_cabezas, c.total_litros from clientes k left join cabezas_produccion c on c.cliente = k.id and c.id not in (select id from detalle_cabezas_produccion) where k.id = {farm}',
    ],
    'add records' => [
        'shape' => 'INSERT INTO cabezas_produccion (cliente, fecha, usuario, turno, total_cabezas, total_litros, id_prg) values {rows}',
        'row' => "('{farm}',{text},{text},{text},{text},{text},{text})",
    ],
    'add details' => [
        'shape' => 'INSERT INTO detalle_cabezas_produccion (id, rodeo, cabezas, litros) values {rows}',
        'row' => "('{record}',{text},{text},{text})",
    ],
    'change record' => [
        'shape' => 'update cabezas_produccion set fecha = {text}, usuario = {text}, turno = {text}, total_cabezas = {text}, total_litros = {text} where cliente = {farm} and id = {int}',
    ],
    'delete details' => [
        'shape' => 'delete from detalle_cabezas_produccion where id = {record?}',
    ],
    'delete record' => [
        'shape' => 'DELETE FROM cabezas_produccion where cliente = {farm} and id = {int}',
    ],
];
