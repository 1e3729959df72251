-- A small dairy and feedlot: company settings, operators, herds with group
-- codes, a prescription with programmed trips, a concentrate and a pit diet.
update mi_empresa set razon_social = 'Establecimiento La Esperanza', direccion = 'Ruta 34 km 231',
    localidad = 'Rafaela', telefono = '03492 555 0142', id_cliente_remoto = '12',
    servidor_remoto = '127.0.0.1:8080', password_remoto = 'esperanza-2026', modo_remoto = 'WEB',
    usa_intervalo = true, intervalo_minutos = '5', importa_csv = false,
    separador_campos = ';', separador_decimal = ',',
    cabezas_desde_alimentacion = true, cabezas_desde_ordene = false;

insert into usuario (id, apellido, nombre, login, activo) values (17, 'Gomez', 'Raul', 'rgomez', true);
insert into usuario (id, apellido, nombre, login, activo) values (21, 'Ferreyra', 'Ana', 'aferreyra', true);
insert into usuario (id, apellido, nombre, login, activo) values (34, 'Bustos', 'Mario', 'mbustos', true);

insert into rodeos (id, id_cat, Descripcion, cabezas, codigos, actividad, corral) values ('1', 1, 'Vacas en ordeñe alta', 180, 'G1,G2', 1, 1);
insert into rodeos (id, id_cat, Descripcion, cabezas, codigos, actividad, corral) values ('2', 1, 'Vacas en ordeñe media', 160, 'G3,G4', 1, 2);
insert into rodeos (id, id_cat, Descripcion, cabezas, codigos, actividad, corral) values ('3', 2, 'Vaquillonas primer parto', 120, 'G5', 1, 3);
insert into rodeos (id, id_cat, Descripcion, cabezas, codigos, actividad, corral) values ('4', 3, 'Vacas secas', 90, '', 2, 4);
insert into rodeos (id, id_cat, Descripcion, cabezas, codigos, actividad, corral) values ('5', 4, 'Novillos engorde', 250, '', 3, 5);
insert into rodeos (id, id_cat, Descripcion, cabezas, codigos, actividad, corral) values ('6', 5, 'Terneros recria', 140, '', 3, 6);

insert into dietas (id, nombre, delpro) values (1, 'Ración ordeñe', false);
insert into dietas (id, nombre, delpro) values (2, 'Ración engorde', false);
insert into dietas (id, nombre, delpro) values (9, 'Balanceado en fosa', true);

-- Prescription 7: two programmed trips of the milking ration, one of the
-- fattening ration, and the pit diet.
insert into prescripcion_viajes (id_prescripcion, id_viaje, des_receta, kilos, hora, turno, receta) values (7, 1, 'Ración ordeñe', 6200, '06:00', '1', '1');
insert into prescripcion_viajes (id_prescripcion, id_viaje, des_receta, kilos, hora, turno, receta) values (7, 2, 'Ración ordeñe', 5800, '17:30', '2', '1');
insert into prescripcion_viajes (id_prescripcion, id_viaje, des_receta, kilos, hora, turno, receta) values (7, 3, 'Ración engorde', 4100, '08:00', '1', '2');
insert into prescripcion_viajes (id_prescripcion, id_viaje, des_receta, kilos, hora, turno, receta) values (7, 4, 'Balanceado en fosa', 0, '05:30', '1', '9');

insert into prescripcion_alimentos (id_prescripcion, id_alim, nombre, tipo) values (7, 101, 'Silo de maíz', 'Forraje');
insert into prescripcion_alimentos (id_prescripcion, id_alim, nombre, tipo) values (7, 102, 'Heno de alfalfa', 'Forraje');
insert into prescripcion_alimentos (id_prescripcion, id_alim, nombre, tipo) values (7, 103, 'Núcleo lechero', 'Concentrado');
insert into prescripcion_alimentos (id_prescripcion, id_alim, nombre, tipo) values (7, 104, 'Maíz molido', 'Grano');
insert into prescripcion_alimentos (id_prescripcion, id_alim, nombre, tipo) values (7, 105, 'Expeller de soja', 'Proteico');
insert into prescripcion_alimentos (id_prescripcion, id_alim, nombre, tipo) values (7, 106, 'Balanceado fosa 18%', 'Balanceado');

insert into prescripcion_detalle_concentrado (id_prescripcion, id_con, Id_Ali, prop) values (7, 103, 104, 62.5);
insert into prescripcion_detalle_concentrado (id_prescripcion, id_con, Id_Ali, prop) values (7, 103, 105, 37.5);

insert into Prescripcion_detalle_alimentos (id_prescripcion, id_viaje, id_alimento, nombre, kilos) values (7, 1, 101, 'Silo de maíz', 4200);
insert into Prescripcion_detalle_alimentos (id_prescripcion, id_viaje, id_alimento, nombre, kilos) values (7, 1, 102, 'Heno de alfalfa', 800);
insert into Prescripcion_detalle_alimentos (id_prescripcion, id_viaje, id_alimento, nombre, kilos) values (7, 1, 103, 'Núcleo lechero', 1200);
insert into Prescripcion_detalle_alimentos (id_prescripcion, id_viaje, id_alimento, nombre, kilos) values (7, 2, 101, 'Silo de maíz', 3900);
insert into Prescripcion_detalle_alimentos (id_prescripcion, id_viaje, id_alimento, nombre, kilos) values (7, 2, 103, 'Núcleo lechero', 1900);
insert into Prescripcion_detalle_alimentos (id_prescripcion, id_viaje, id_alimento, nombre, kilos) values (7, 3, 104, 'Maíz molido', 3000);
insert into Prescripcion_detalle_alimentos (id_prescripcion, id_viaje, id_alimento, nombre, kilos) values (7, 3, 105, 'Expeller de soja', 1100);
insert into Prescripcion_detalle_alimentos (id_prescripcion, id_viaje, id_alimento, nombre, kilos) values (7, 4, 106, 'Balanceado fosa 18%', 0);

insert into prescripcion_descarga (id_prescripcion, id_viaje, id_corral, nom_corral, kilos) values (7, 1, '1', 'Vacas en ordeñe alta', 3400);
insert into prescripcion_descarga (id_prescripcion, id_viaje, id_corral, nom_corral, kilos) values (7, 1, '2', 'Vacas en ordeñe media', 2800);
insert into prescripcion_descarga (id_prescripcion, id_viaje, id_corral, nom_corral, kilos) values (7, 2, '1', 'Vacas en ordeñe alta', 3100);
insert into prescripcion_descarga (id_prescripcion, id_viaje, id_corral, nom_corral, kilos) values (7, 2, '3', 'Vaquillonas primer parto', 2700);
insert into prescripcion_descarga (id_prescripcion, id_viaje, id_corral, nom_corral, kilos) values (7, 3, '5', 'Novillos engorde', 4100);

insert into prescripcion_rodeos (id, cabezas, id_cat, actividad, corral) values ('1', 180, 1, 1, 1);
insert into prescripcion_rodeos (id, cabezas, id_cat, actividad, corral) values ('2', 160, 1, 1, 2);
insert into prescripcion_rodeos (id, cabezas, id_cat, actividad, corral) values ('3', 120, 2, 1, 3);
insert into prescripcion_rodeos (id, cabezas, id_cat, actividad, corral) values ('5', 250, 4, 3, 5);

insert into sucesos (fecha, descripcion) values (date('now', '-2 days'), 'Base de datos de demostracion creada');
