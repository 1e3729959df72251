-- Local database of the feed-management suite, as Zelvano reads and writes it.
-- Column order matters: rows are added and read by position.
-- Types: INTEGER, REAL, TEXT, DATE (stored as yyyy-MM-dd), TIME (HH:mm:ss),
-- YESNO (-1 true, 0 false). Text compares without regard to letter case.

CREATE TABLE mi_empresa (
    razon_social TEXT COLLATE NOCASE,            -- 0
    direccion TEXT COLLATE NOCASE,               -- 1
    localidad TEXT COLLATE NOCASE,               -- 2
    telefono TEXT COLLATE NOCASE,                -- 3
    cuit TEXT COLLATE NOCASE,                    -- 4
    provincia TEXT COLLATE NOCASE,               -- 5
    pais TEXT COLLATE NOCASE,                    -- 6
    email TEXT COLLATE NOCASE,                   -- 7
    responsable TEXT COLLATE NOCASE,             -- 8
    tipo_establecimiento TEXT COLLATE NOCASE,    -- 9
    reservado_10 TEXT COLLATE NOCASE,
    reservado_11 TEXT COLLATE NOCASE,
    reservado_12 TEXT COLLATE NOCASE,
    reservado_13 TEXT COLLATE NOCASE,
    reservado_14 TEXT COLLATE NOCASE,
    reservado_15 TEXT COLLATE NOCASE,
    reservado_16 TEXT COLLATE NOCASE,
    reservado_17 TEXT COLLATE NOCASE,
    reservado_18 TEXT COLLATE NOCASE,
    reservado_19 TEXT COLLATE NOCASE,
    id_cliente_remoto TEXT COLLATE NOCASE,       -- 20 ClientId
    servidor_remoto TEXT COLLATE NOCASE,         -- 21 ServerHost
    password_remoto TEXT COLLATE NOCASE,         -- 22 ClientPassword
    modo_remoto TEXT,                            -- 23 RemoteMode, "ODBC" or "WEB"
    usa_intervalo YESNO,                         -- 24 UseDownloadInterval
    intervalo_minutos TEXT COLLATE NOCASE,       -- 25 DownloadEveryMinutes
    reservado_26 TEXT COLLATE NOCASE,
    reservado_27 TEXT COLLATE NOCASE,
    reservado_28 TEXT COLLATE NOCASE,
    importa_csv YESNO,                           -- 29 CsvImportEnabled
    carpeta_importacion TEXT,                    -- 30 ImportFolder
    archivo_importacion TEXT,                    -- 31 ImportFileName
    hora_importacion TEXT COLLATE NOCASE,        -- 32 ImportTime
    software_importacion TEXT,                   -- 33 ImportSoftware, "delpro" or "dairy"
    separador_campos TEXT,                       -- 34 CsvSplitMark
    separador_decimal TEXT,                      -- 35 CsvDecimalSeparator
    reservado_36 TEXT COLLATE NOCASE,
    reservado_37 TEXT COLLATE NOCASE,
    reservado_38 TEXT COLLATE NOCASE,
    reservado_39 TEXT COLLATE NOCASE,
    reservado_40 TEXT COLLATE NOCASE,
    reservado_41 TEXT COLLATE NOCASE,
    reservado_42 TEXT COLLATE NOCASE,
    cabezas_desde_alimentacion YESNO,            -- 43 HeadCountFromFeeding
    cabezas_desde_ordene YESNO                   -- 44 HeadCountFromMilk
);

CREATE TABLE sucesos (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    fecha DATE,
    descripcion TEXT COLLATE NOCASE
);
CREATE INDEX sucesos_fecha ON sucesos (fecha, id);

CREATE TABLE usuario (
    id INTEGER PRIMARY KEY,
    apellido TEXT COLLATE NOCASE,
    nombre TEXT COLLATE NOCASE,
    login TEXT COLLATE NOCASE,
    activo YESNO
);

-- Herds (pens). id holds the herd number as text; codigos the dairy
-- software's group codes, separated by ",".
CREATE TABLE rodeos (
    id TEXT COLLATE NOCASE PRIMARY KEY,          -- 0
    id_cat INTEGER,                              -- 1 category
    Descripcion TEXT COLLATE NOCASE,             -- 2
    cabezas INTEGER,                             -- 3
    codigos TEXT COLLATE NOCASE,                 -- 4 group codes
    peso_promedio REAL,                          -- 5
    fecha_alta DATE,                             -- 6
    observaciones TEXT COLLATE NOCASE,           -- 7
    actividad INTEGER,                           -- 8
    corral INTEGER                               -- 9
);

CREATE TABLE dietas (
    id INTEGER PRIMARY KEY,
    nombre TEXT COLLATE NOCASE,
    delpro YESNO                                 -- the diet fed in the milking pit
);

-- Prescriptions: programmed trips (id_viaje) of a prescription, with their
-- total, per-ingredient and per-herd kilograms.
CREATE TABLE prescripcion_viajes (
    id_prescripcion INTEGER,                     -- 0
    id_viaje INTEGER,                            -- 1
    des_receta TEXT COLLATE NOCASE,              -- 2
    kilos REAL,                                  -- 3
    hora TEXT COLLATE NOCASE,                    -- 4 time of day
    turno TEXT COLLATE NOCASE,                   -- 5 shift
    receta TEXT COLLATE NOCASE                   -- 6 the diet id, as text
);
CREATE INDEX prescripcion_viajes_key ON prescripcion_viajes (id_prescripcion, id_viaje);
CREATE INDEX prescripcion_viajes_receta ON prescripcion_viajes (receta, id_prescripcion);

CREATE TABLE Prescripcion_detalle_alimentos (
    id_prescripcion INTEGER,                     -- 0
    id_viaje INTEGER,                            -- 1
    id_alimento INTEGER,                         -- 2
    nombre TEXT COLLATE NOCASE,                  -- 3
    kilos REAL                                   -- 4
);
CREATE INDEX prescripcion_detalle_alimentos_key
    ON Prescripcion_detalle_alimentos (id_prescripcion, id_viaje, id_alimento);

CREATE TABLE prescripcion_descarga (
    id_prescripcion INTEGER,
    id_viaje INTEGER,
    id_corral TEXT COLLATE NOCASE,
    nom_corral TEXT COLLATE NOCASE,
    kilos REAL
);
CREATE INDEX prescripcion_descarga_key ON prescripcion_descarga (id_prescripcion, id_viaje);

CREATE TABLE prescripcion_rodeos (
    id TEXT COLLATE NOCASE PRIMARY KEY,
    cabezas INTEGER,
    id_cat INTEGER,
    actividad INTEGER,
    corral INTEGER
);

CREATE TABLE prescripcion_alimentos (
    id_prescripcion INTEGER,
    id_alim INTEGER,
    nombre TEXT COLLATE NOCASE,
    tipo TEXT COLLATE NOCASE
);
CREATE INDEX prescripcion_alimentos_key ON prescripcion_alimentos (id_prescripcion, id_alim);

CREATE TABLE prescripcion_detalle_concentrado (
    id_prescripcion INTEGER,
    id_con INTEGER,
    Id_Ali INTEGER,
    prop REAL
);
CREATE INDEX prescripcion_detalle_concentrado_key
    ON prescripcion_detalle_concentrado (id_prescripcion, id_con);

-- Feeding trips, their loads and unloads, and the ingredients of concentrate loads.
CREATE TABLE lectura_viajes (
    id INTEGER PRIMARY KEY,                      -- 0 the remote id_viaje; pit trips negative
    Turno INTEGER,                               -- 1
    id_receta INTEGER,                           -- 2
    des_receta TEXT COLLATE NOCASE,              -- 3
    fecha DATE,                                  -- 4
    cab_tot REAL,                                -- 5
    kg_tot_sug REAL,                             -- 6
    kg_tot_real REAL,                            -- 7
    id_prg INTEGER,                              -- 8
    id_pres INTEGER,                             -- 9
    Kg_Tot_Pres REAL                             -- 10
);
CREATE INDEX lectura_viajes_fecha ON lectura_viajes (fecha);
CREATE INDEX lectura_viajes_kg_tot_pres ON lectura_viajes (Kg_Tot_Pres)
    WHERE Kg_Tot_Pres = 0 OR Kg_Tot_Pres IS NULL;

CREATE TABLE lectura_Carga (
    id_viaje INTEGER,                            -- 0
    Id_alim INTEGER,                             -- 1
    des_alim TEXT COLLATE NOCASE,                -- 2
    cantidad REAL,                               -- 3
    kg_sug REAL,                                 -- 4
    kg_real REAL,                                -- 5
    hora TIME,                                   -- 6
    operario INTEGER,                            -- 7
    id_tablet TEXT COLLATE NOCASE,               -- 8
    nom_tablet TEXT COLLATE NOCASE,              -- 9
    Kg_Prescriptos REAL,                         -- 10
    id_mod INTEGER PRIMARY KEY AUTOINCREMENT,    -- 11
    suceso TEXT COLLATE NOCASE                   -- 12
);
CREATE INDEX lectura_carga_viaje ON lectura_Carga (id_viaje);
CREATE INDEX lectura_carga_kg_prescriptos ON lectura_Carga (Kg_Prescriptos)
    WHERE Kg_Prescriptos = 0 OR Kg_Prescriptos IS NULL;

CREATE TABLE lectura_descarga (
    id_viaje INTEGER,                            -- 0
    id_rodeo INTEGER,                            -- 1
    descripcion TEXT COLLATE NOCASE,             -- 2
    cabezas INTEGER,                             -- 3
    categoria INTEGER,                           -- 4
    actividad INTEGER,                           -- 5
    corral INTEGER,                              -- 6
    kg_sug REAL,                                 -- 7
    kg_real REAL,                                -- 8
    hora TIME,                                   -- 9
    operario INTEGER,                            -- 10
    id_tablet TEXT COLLATE NOCASE,               -- 11
    nom_tablet TEXT COLLATE NOCASE,              -- 12
    gps TEXT COLLATE NOCASE,                     -- 13
    Kg_Prescriptos REAL,                         -- 14
    id_mod INTEGER PRIMARY KEY AUTOINCREMENT,    -- 15
    suceso TEXT COLLATE NOCASE                   -- 16
);
CREATE INDEX lectura_descarga_viaje_rodeo ON lectura_descarga (id_viaje, id_rodeo);
CREATE INDEX lectura_descarga_rodeo ON lectura_descarga (id_rodeo);
CREATE INDEX lectura_descarga_kg_prescriptos ON lectura_descarga (Kg_Prescriptos)
    WHERE Kg_Prescriptos = 0 OR Kg_Prescriptos IS NULL;

CREATE TABLE lectura_carga_detalle_conc (
    id_mod INTEGER,                              -- 0
    id_viaje INTEGER,                            -- 1
    id_alim INTEGER,                             -- 2
    id_ali INTEGER,                              -- 3
    nombre TEXT COLLATE NOCASE,                  -- 4
    prop REAL,                                   -- 5
    kg_sug REAL,                                 -- 6
    kg_real REAL                                 -- 7
);
CREATE INDEX lectura_carga_detalle_conc_mod ON lectura_carga_detalle_conc (id_mod);

-- Milk production: one row per reading, one detail row per herd of it.
CREATE TABLE Produccion_Lactea (
    id INTEGER PRIMARY KEY AUTOINCREMENT,        -- 0
    fecha DATE,                                  -- 1
    usuario TEXT COLLATE NOCASE,                 -- 2
    turno TEXT COLLATE NOCASE,                   -- 3
    total_cabezas INTEGER,                       -- 4
    total_litros INTEGER,                        -- 5
    actualizado YESNO,                           -- 6
    proceso TEXT COLLATE NOCASE,                 -- 7 AGREGAR, MODIFICAR, ELIMINAR, DESCARGADO
    id_remoto INTEGER                            -- 8
);
CREATE INDEX produccion_lactea_pendientes ON Produccion_Lactea (actualizado, proceso);
CREATE INDEX produccion_lactea_remoto ON Produccion_Lactea (id_remoto);
CREATE INDEX produccion_lactea_fecha ON Produccion_Lactea (fecha);

CREATE TABLE detalle_Produccion_Lactea (
    id INTEGER,                                  -- 0 the reading
    Rodeo TEXT COLLATE NOCASE,                   -- 1 the herd
    cabezas REAL,                                -- 2
    litros REAL                                  -- 3
);
CREATE INDEX detalle_produccion_lactea_id ON detalle_Produccion_Lactea (id);
