#!/usr/bin/env python3
"""Prints the SQL of one day of a feedlot's feeding on the reference server:
client 12 (the demo farm) with a few hundred trips of its feed wagons, each
with 4 to 8 loads and 5 to 15 unloads, some unloads with a GPS position and
some without, a few rows by operators the farm does not know, and a
neighbour's trips that the farm must not see.

    scripts/demo-server-data.py [--date yyyy-mm-dd] [--trips N] | mariadb ... qk_zr
"""
import argparse
import datetime
import random

INGREDIENTS = [
    (101, 'Silo de maíz'), (102, 'Heno de alfalfa'), (103, 'Núcleo lechero'),
    (104, 'Maíz molido'), (105, 'Expeller de soja'), (107, 'Burlanda de maíz'),
    (108, 'Sal mineral'), (109, 'Urea protegida'),
]
RECIPES = [(2, 'Ración engorde'), (2, 'Ración engorde'), (1, 'Ración ordeñe')]
KNOWN_OPERATORS = ['17', '21', '34']
UNKNOWN_OPERATORS = ['45', '58']
WAGONS = [('TAB-%02d' % i, 'Mixer %d' % i) for i in range(1, 9)]
TABLET_EVENTS = ['Balanza recalibrada', 'Faltante de silo, se completó con heno',
                 "Corral 12: comedero con agua", 'Reinicio de tablet']


def quote(value):
    if value is None:
        return 'NULL'
    if isinstance(value, (int, float)):
        return repr(value)
    return "'" + str(value).replace('\\', '\\\\').replace("'", "''") + "'"


def values(rows):
    return ',\n'.join('(' + ', '.join(quote(v) for v in row) + ')' for row in rows)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--date', default=datetime.date.today().isoformat())
    parser.add_argument('--trips', type=int, default=320)
    parser.add_argument('--seed', type=int, default=2026)
    args = parser.parse_args()
    rnd = random.Random(args.seed)
    day = args.date

    trips, loads, unloads = [], [], []
    pens = [(i, f'Corral {i}' if i > 6 else name) for i, name in
            [(1, 'Vacas en ordeñe alta'), (2, 'Vacas en ordeñe media'),
             (3, 'Vaquillonas primer parto'), (4, 'Vacas secas'), (5, 'Novillos engorde'),
             (6, 'Terneros recria')] + [(i, '') for i in range(7, 49)]]
    # Each wagon works from 05:00 on, one trip after the other.
    clock = {w[0]: 5 * 3600 + rnd.randint(0, 900) for w in WAGONS}
    for n in range(args.trips):
        trip_id = 7001 + n
        wagon = WAGONS[n % len(WAGONS)]
        t = clock[wagon[0]]
        recipe = rnd.choice(RECIPES)
        turno = 1 if t < 13 * 3600 else 2
        operator = rnd.choice(KNOWN_OPERATORS)

        def who():
            if rnd.random() < 0.07:
                return rnd.choice(UNKNOWN_OPERATORS)
            return operator

        def hhmmss(seconds):
            return '%02d:%02d:%02d' % (seconds // 3600 % 24, seconds // 60 % 60, seconds % 60)

        for id_alim, name in rnd.sample(INGREDIENTS, rnd.randint(4, 8)):
            sug = round(rnd.uniform(40, 2400) / 5) * 5
            real = round(sug * rnd.uniform(0.96, 1.04), 1)
            t += rnd.randint(30, 90)
            event = rnd.choice(TABLET_EVENTS) if rnd.random() < 0.02 else ''
            loads.append((trip_id, id_alim, name, 0, sug, real, hhmmss(t), who(), wagon[0],
                          wagon[1], event))
        heads = kg_sug = kg_real = 0
        for id_rodeo, name in rnd.sample(pens, rnd.randint(5, 15)):
            cab = rnd.randint(40, 250)
            sug = round(cab * rnd.uniform(9, 14))
            real = round(sug * rnd.uniform(0.95, 1.05), 1)
            t += rnd.randint(45, 120)
            r = rnd.random()
            gps = ('%.5f,%.5f' % (-31.25 - rnd.random() / 100, -61.49 - rnd.random() / 100)
                   if r < 0.75 else (',' if r < 0.9 else ''))
            event = rnd.choice(TABLET_EVENTS) if rnd.random() < 0.02 else ''
            unloads.append((trip_id, id_rodeo, name or f'Corral {id_rodeo}', cab,
                            1 if id_rodeo <= 3 else 4, 1 if id_rodeo <= 3 else 3, id_rodeo,
                            sug, real, hhmmss(t), who(), wagon[0], wagon[1], gps, event))
            heads += cab
            kg_sug += sug
            kg_real += real
        trips.append((12, trip_id, turno, recipe[0], recipe[1], day, heads, kg_sug,
                      round(kg_real, 1), 1 + n % 3, '7'))
        clock[wagon[0]] = t + rnd.randint(120, 360)

    # A neighbour on the same server: never part of the farm's download.
    neighbour = [(15, 90001 + i, 1, 3, 'Ración vecino', day, 100, 1000, 1000, 1, '2')
                 for i in range(5)]
    neighbour_loads = [(90001 + i, 101, 'Silo de maíz', 0, 1000, 1000, '06:00:00', '5',
                        'TAB-99', 'Vecino', '') for i in range(5)]

    print('delete from clientes;')
    print('delete from lectura_viajes_feed;')
    print('delete from lectura_carga_feed;')
    print('delete from lectura_descarga_feed;')
    # The demo farm's milk records start empty too: a server left running by
    # tests or an earlier demo would otherwise hand them to the first import.
    print('delete from detalle_cabezas_produccion where id in '
          '(select id from cabezas_produccion where cliente = 12);')
    print('delete from cabezas_produccion where cliente = 12;')
    print("insert into clientes (id, password, nombre) values "
          "(12, 'esperanza-2026', 'Establecimiento La Esperanza'), (15, 'vecino', 'El Vecino');")
    print('insert into lectura_viajes_feed values\n' + values(trips + neighbour) + ';')
    cols = ('id_viaje, id_alim, des_alim, cantidad, kg_sug, kg_real, hora, operario, '
            'id_tablet, nom_tablet, suceso')
    print(f'insert into lectura_carga_feed ({cols}) values\n' +
          values(loads + neighbour_loads) + ';')
    cols = ('id_viaje, id_rodeo, nom_rodeo, cabezas, categoria, actividad, corral, kg_sug, '
            'kg_real, hora, operario, id_tablet, nom_tablet, gps, suceso')
    print(f'insert into lectura_descarga_feed ({cols}) values\n' + values(unloads) + ';')


if __name__ == '__main__':
    main()
