-- The demo farm as a dairy of 600 milking cows in 38 groups of the milking
-- software (G1 .. G38): the milking herds take the groups as their codes, two
-- more herds take the fresh and the sick cows; G38 belongs to no herd.
update rodeos set codigos = 'G1,G2,G3,G4,G5,G6,G7,G8,G9,G10,G11,G12' where id = '1';
update rodeos set codigos = 'G13,G14,G15,G16,G17,G18,G19,G20,G21,G22,G23,G24' where id = '2';
update rodeos set codigos = 'G25,G26,G27,G28,G29,G30' where id = '3';
insert into rodeos (id, id_cat, Descripcion, cabezas, codigos, peso_promedio, actividad, corral) values ('7', 1, 'Vacas frescas', 70, 'G31, G32, G33, G34, G35', 600, 1, 7);
insert into rodeos (id, id_cat, Descripcion, cabezas, codigos, peso_promedio, actividad, corral) values ('8', 1, 'Enfermeria', 30, 'G36,G37', 580, 1, 8);
