-- Demo dairy of about 600 milking cows: twelve herds, each fed from three
-- milking groups of the dairy software (G01 .. G36); G37 and G38 belong to no herd.
insert into rodeos (id, id_cat, Descripcion, cabezas, codigos, peso_promedio, actividad, corral) values ('101', 1, 'Vaquillonas primer parto', 48, 'G01,G02,G03', 540, 1, 1);
insert into rodeos (id, id_cat, Descripcion, cabezas, codigos, peso_promedio, actividad, corral) values ('102', 1, 'Vaquillonas segundo tercio', 50, 'G04,G05,G06', 560, 1, 2);
insert into rodeos (id, id_cat, Descripcion, cabezas, codigos, peso_promedio, actividad, corral) values ('103', 2, 'Alta produccion A', 55, 'G07,G08,G09', 620, 1, 3);
insert into rodeos (id, id_cat, Descripcion, cabezas, codigos, peso_promedio, actividad, corral) values ('104', 2, 'Alta produccion B', 55, 'G10,G11,G12', 625, 1, 4);
insert into rodeos (id, id_cat, Descripcion, cabezas, codigos, peso_promedio, actividad, corral) values ('105', 2, 'Media produccion A', 52, 'G13,G14,G15', 610, 1, 5);
insert into rodeos (id, id_cat, Descripcion, cabezas, codigos, peso_promedio, actividad, corral) values ('106', 2, 'Media produccion B', 52, 'G16,G17,G18', 605, 1, 6);
insert into rodeos (id, id_cat, Descripcion, cabezas, codigos, peso_promedio, actividad, corral) values ('107', 3, 'Baja produccion', 50, 'G19,G20,G21', 600, 1, 7);
insert into rodeos (id, id_cat, Descripcion, cabezas, codigos, peso_promedio, actividad, corral) values ('108', 3, 'Fin de lactancia', 48, 'G22,G23,G24', 590, 1, 8);
insert into rodeos (id, id_cat, Descripcion, cabezas, codigos, peso_promedio, actividad, corral) values ('109', 4, 'Frescas', 45, 'G25,G26,G27', 580, 2, 9);
insert into rodeos (id, id_cat, Descripcion, cabezas, codigos, peso_promedio, actividad, corral) values ('110', 4, 'Preparto ordenie', 40, 'G28,G29,G30', 600, 2, 10);
insert into rodeos (id, id_cat, Descripcion, cabezas, codigos, peso_promedio, actividad, corral) values ('111', 5, 'Enfermeria', 20, 'G31, G32', 570, 3, 11);
insert into rodeos (id, id_cat, Descripcion, cabezas, codigos, peso_promedio, actividad, corral) values ('112', 5, 'Tratamiento', 25, 'G33,G34,G35,G36', 575, 3, 12);
insert into rodeos (id, id_cat, Descripcion, cabezas, codigos, peso_promedio, actividad, corral) values ('120', 6, 'Secas', 60, null, 650, 4, 20);

-- The ration fed in the milking pit, in the newest prescription.
insert into dietas (id, nombre, delpro) values (14, 'Balanceado fosa', true);
insert into dietas (id, nombre, delpro) values (15, 'Racion total mezclada', false);
insert into prescripcion_viajes (id_prescripcion, id_viaje, des_receta, kilos, hora, turno, receta) values (81, 3, 'Fosa manana', 1800, '05:30:00', '1', '14');
insert into prescripcion_viajes (id_prescripcion, id_viaje, des_receta, kilos, hora, turno, receta) values (82, 3, 'Fosa manana', 1850, '05:30:00', '1', '14');
insert into Prescripcion_detalle_alimentos (id_prescripcion, id_viaje, id_alimento, nombre, kilos) values (82, 3, 905, 'Balanceado 18% proteina', 1850);
