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
//   {rows}    one or more of the entry's 'row' shapes, separated by commas (or
//             by the entry's 'separator')
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
    'records with their line counts' => [
        'shape' => 'select c.id, count(d.id) as lineas, unix_timestamp() as ahora from clientes k left join cabezas_produccion c on c.cliente = k.id left join detalle_cabezas_produccion d on d.id = c.id where k.id = {farm} group by c.id',
    ],
    'records by id' => [
        'shape' => 'select * from cabezas_produccion where cliente = {farm} and id in ({ints}) order by id',
    ],
    'record details' => [
        'shape' => 'select * from detalle_cabezas_produccion where id = {record}',
    ],
    // Production synchronisation, upload.
    'records without details' => [
        'shape' => 'select c.id, c.id_prg, c.fecha, c.usuario, c.turno, c.total_cabezas, c.total_litros, (select max(id) from cabezas_produccion where cliente = k.id) as tope from clientes k left join cabezas_produccion c on c.cliente = k.id and c.id not in (select id from detalle_cabezas_produccion) where k.id = {farm}',
    ],
    'details of records' => [
        'shape' => 'select d.id, d.rodeo, d.cabezas, d.litros, d.id_detalle, c.id_prg, c.fecha, c.usuario, c.turno, c.total_cabezas, c.total_litros from detalle_cabezas_produccion d join cabezas_produccion c on c.id = d.id where c.cliente = {farm} and d.id in ({ints}) order by d.id',
    ],
    'add records' => [
        'shape' => 'INSERT INTO cabezas_produccion (cliente, fecha, usuario, turno, total_cabezas, total_litros, id_prg) values {rows}',
        'row' => "('{farm}',{text},{text},{text},{text},{text},{text})",
    ],
    'add details' => [
        'shape' => "INSERT INTO detalle_cabezas_produccion (id, rodeo, cabezas, litros) select v.id, v.rodeo, v.cabezas, v.litros from (select 0 as id, '' as rodeo, '' as cabezas, '' as litros from dual where 1 = 0 union all select {rows}) v where not exists (select 1 from detalle_cabezas_produccion x where x.id = v.id) and exists (select 1 from cabezas_produccion c where c.id = v.id)",
        'row' => '{record},{text},{text},{text}',
        'separator' => ' union all select ',
    ],
    'change record' => [
        'shape' => 'update cabezas_produccion set fecha = {text}, usuario = {text}, turno = {text}, total_cabezas = {text}, total_litros = {text} where cliente = {farm} and id = {int}',
    ],
    'delete details' => [
        'shape' => 'delete from detalle_cabezas_produccion where id = {record?}',
    ],
    'delete record without details' => [
        'shape' => 'DELETE FROM cabezas_produccion where cliente = {farm} and id = {int} and id not in (select id from detalle_cabezas_produccion)',
    ],
    'delete record' => [
        'shape' => 'DELETE FROM cabezas_produccion where cliente = {farm} and id = {int}',
    ],
];
