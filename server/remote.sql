-- The remote tables of the farms' server (database qk_zr). Column order
-- matters: the ODBC way reads "select *" results by position, noted on the
-- right; the WEB way reads the same columns by name.

DROP TABLE IF EXISTS clientes;
DROP TABLE IF EXISTS lectura_viajes_feed;
DROP TABLE IF EXISTS lectura_carga_feed;
DROP TABLE IF EXISTS lectura_descarga_feed;
DROP TABLE IF EXISTS cabezas_produccion;
DROP TABLE IF EXISTS detalle_cabezas_produccion;

-- One row per client farm; the login of every remote operation.
CREATE TABLE clientes (
    id INT NOT NULL PRIMARY KEY,                 -- 0
    password VARCHAR(50) NOT NULL,               -- 1
    nombre VARCHAR(100) NULL                     -- 2
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

-- Feeding trips written by the tablets.
CREATE TABLE lectura_viajes_feed (
    cliente INT NOT NULL,                        -- 0
    id_viaje INT NOT NULL,                       -- 1
    turno INT NULL,                              -- 2
    id_receta INT NULL,                          -- 3
    des_receta VARCHAR(100) NULL,                -- 4
    fecha DATE NULL,                             -- 5
    cab_tot INT NULL,                            -- 6
    kg_tot_sug DECIMAL(12,2) NULL,               -- 7
    kg_tot_real DECIMAL(12,2) NULL,              -- 8
    id_prg INT NULL,                             -- 9
    id_pres VARCHAR(20) NULL,                    -- 10
    PRIMARY KEY (id_viaje),
    KEY lectura_viajes_feed_cliente (cliente, id_viaje),
    KEY lectura_viajes_feed_fecha (cliente, fecha)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

-- Loads: each ingredient put into the wagon.
CREATE TABLE lectura_carga_feed (
    id_viaje INT NOT NULL,                       -- 0
    id_alim INT NULL,                            -- 1
    des_alim VARCHAR(100) NULL,                  -- 2
    cantidad DECIMAL(12,2) NULL,                 -- 3
    kg_sug DECIMAL(12,2) NULL,                   -- 4
    kg_real DECIMAL(12,2) NULL,                  -- 5
    hora TIME NULL,                              -- 6
    operario VARCHAR(20) NULL,                   -- 7
    id_tablet VARCHAR(40) NULL,                  -- 8
    nom_tablet VARCHAR(60) NULL,                 -- 9
    suceso VARCHAR(255) NULL,                    -- 10
    id_carga INT NOT NULL AUTO_INCREMENT,        -- 11
    PRIMARY KEY (id_carga),
    KEY lectura_carga_feed_viaje (id_viaje, hora)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

-- Unloads: each pen or herd fed.
CREATE TABLE lectura_descarga_feed (
    id_viaje INT NOT NULL,                       -- 0
    id_rodeo INT NULL,                           -- 1
    nom_rodeo VARCHAR(100) NULL,                 -- 2
    cabezas INT NULL,                            -- 3
    categoria INT NULL,                          -- 4
    actividad INT NULL,                          -- 5
    corral INT NULL,                             -- 6
    id_descarga INT NOT NULL AUTO_INCREMENT,     -- 7
    kg_sug DECIMAL(12,2) NULL,                   -- 8
    kg_real DECIMAL(12,2) NULL,                  -- 9
    hora TIME NULL,                              -- 10
    operario VARCHAR(20) NULL,                   -- 11
    id_tablet VARCHAR(40) NULL,                  -- 12
    nom_tablet VARCHAR(60) NULL,                 -- 13
    gps VARCHAR(60) NULL,                        -- 14
    suceso VARCHAR(255) NULL,                    -- 15
    PRIMARY KEY (id_descarga),
    KEY lectura_descarga_feed_viaje (id_viaje, hora)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

-- Milking records shared by the sites of a farm.
CREATE TABLE cabezas_produccion (
    cliente INT NOT NULL,                        -- 0
    id INT NOT NULL AUTO_INCREMENT,              -- 1
    fecha DATE NULL,                             -- 2
    usuario VARCHAR(50) NULL,                    -- 3
    turno VARCHAR(20) NULL,                      -- 4
    total_cabezas INT NULL,                      -- 5
    total_litros DECIMAL(12,2) NULL,             -- 6
    id_prg INT NULL,                             -- 7 the local id at the site that sent it
    PRIMARY KEY (id),
    KEY cabezas_produccion_cliente (cliente, id)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

-- One row per herd of a milking record; id is cabezas_produccion.id.
CREATE TABLE detalle_cabezas_produccion (
    id INT NOT NULL,                             -- 0
    rodeo VARCHAR(50) NULL,                      -- 1
    cabezas INT NULL,                            -- 2
    litros DECIMAL(12,2) NULL,                   -- 3
    id_detalle INT NOT NULL AUTO_INCREMENT,      -- 4
    PRIMARY KEY (id_detalle),
    KEY detalle_cabezas_produccion_id (id)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;
