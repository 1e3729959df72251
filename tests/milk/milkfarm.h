#pragma once

// A dairy for the tests that run the real program on a home and then look at
// what is stored: herds with group codes, a pit diet, the import settings in
// the company row, and Delpro exports of many groups, one day per file.

#include "milkhome.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace zelvano::test {

class MilkFarm : public MilkHome
{
public:
    // herds herds, each claiming groups G<h>, G<h+herds>, ... of every file.
    explicit MilkFarm(int herds = 40)
    {
        exec("update mi_empresa set importa_csv = true, carpeta_importacion = '" + folder() +
             "', archivo_importacion = 'ordene', software_importacion = 'delpro', "
             "separador_campos = ';', separador_decimal = ','");
        ctx.settings.ImportFileName = QStringLiteral("ordene");
        for (int h = 1; h <= herds; ++h) {
            QStringList codes;
            for (int g = h; g <= 400; g += herds)
                codes << QStringLiteral("G%1").arg(g);
            addHerd(QString::number(h), QStringLiteral("Rodeo %1").arg(h), codes.join(u','));
        }
        m_herds = herds;
        addPitDiet();
    }

    // Writes the export of day 1..n of March 2026 with groups groups.
    QString addFile(int day, int groups)
    {
        const QString name = QStringLiteral("ordene_202603%1.csv").arg(day, 2, 10, QChar(u'0'));
        QByteArray text = "Grupo;Nombre;Vacas;Litros;Promedio;Fosa\r\n";
        for (int g = 1; g <= groups; ++g)
            text += QStringLiteral("G%1;Grupo %1;%2;%3,5;21,4;%4,2\r\n")
                        .arg(g)
                        .arg(20 + (g + day) % 40)
                        .arg(400 + g % 900)
                        .arg(30 + g % 60)
                        .toLatin1();
        writeExport(name, text);
        m_files.push_back({name, QDate(2026, 3, day), groups});
        return name;
    }

    struct File
    {
        QString name;
        QDate day;
        int groups;
    };
    const std::vector<File> &files() const { return m_files; }
    int herds() const { return m_herds; }

    // Every table the import writes, row by row, for comparing two homes.
    QString storedRows() const
    {
        QString all;
        for (const char *table : {"Produccion_Lactea", "detalle_Produccion_Lactea",
                                  "lectura_viajes", "lectura_descarga", "lectura_Carga"}) {
            LocalConnection db;
            db.open(databasePath());
            Recordset rs = db.openRecordset(QStringLiteral("select * from ") + table);
            all += QString::fromLatin1(table) + u'\n';
            for (; !rs.eof(); rs.moveNext()) {
                for (int i = 0; i < rs.fieldCount(); ++i)
                    all += rs.value(i).toString() + u'|';
                all += u'\n';
            }
        }
        return all;
    }

    // Each file either waits under its own name with nothing of it stored, or
    // has exactly one reading with its herd lines, totals, pit trip and
    // success event, and carries its read name or waits for it under its own
    // name with its record pending.
    ::testing::AssertionResult exactlyOnceOrNotYet(int *read = nullptr) const
    {
        if (const QString check = scalar("pragma integrity_check").toString(); check != "ok")
            return ::testing::AssertionFailure() << "integrity_check: " << check.toStdString();
        const QStringList events = eventTexts(*this);
        const QStringList names = exportNames();
        int stored = 0;
        int unloads = 0;
        for (const File &f : m_files) {
            const QString day = f.day.toString("yyyy-MM-dd");
            const int readings =
                scalar("select count(*) from Produccion_Lactea where fecha = '" + day + "'")
                    .toInt();
            const int trips =
                scalar("select count(*) from lectura_viajes where fecha = '" + day + "'").toInt();
            const QString success =
                "La importacion del archivo " + f.name + " ha sido guardada correctamente - ";
            const int told = int(std::count_if(events.begin(), events.end(), [&](const QString &e) {
                return e.startsWith(success);
            }));
            const bool own = names.contains(f.name);
            const bool renamed = names.contains("--leido--" + f.name);
            const int pending = scalar("select count(*) from zelvano_lecturas where archivo = '" +
                                       f.name + "' and pendiente = 1")
                                    .toInt();
            auto failure = [&]() {
                return ::testing::AssertionFailure()
                       << f.name.toStdString() << ": readings " << readings << ", trips " << trips
                       << ", events " << told << ", own name " << own << ", read name " << renamed
                       << ", pending " << pending;
            };
            if (own == renamed)
                return failure() << " (exactly one of its two names must exist)";
            if (readings == 0) {
                if (trips != 0 || told != 0 || !own || pending != 0)
                    return failure() << " (nothing of it may be stored)";
                continue;
            }
            if (readings != 1 || trips != 1 || told != 1)
                return failure() << " (stored more than once, or in part)";
            if (own && pending != 1)
                return failure() << " (stored under its own name without a pending record)";
            const QString id =
                scalar("select id from Produccion_Lactea where fecha = '" + day + "'").toString();
            const int lines =
                scalar("select count(*) from detalle_Produccion_Lactea where id = " + id).toInt();
            const QString trip =
                scalar("select id from lectura_viajes where fecha = '" + day + "'").toString();
            const int tripUnloads =
                scalar("select count(*) from lectura_descarga where id_viaje = " + trip).toInt();
            const int loads =
                scalar("select count(*) from lectura_Carga where id_viaje = " + trip).toInt();
            if (lines != m_herds || tripUnloads != f.groups || loads != 1 ||
                scalar("select total_litros from Produccion_Lactea where id = " + id).isNull())
                return failure() << " (half a reading: " << lines << " herd lines, " << tripUnloads
                                 << " unloads, " << loads << " loads)";
            ++stored;
            unloads += tripUnloads;
        }
        if (scalar("select count(*) from Produccion_Lactea").toInt() != stored ||
            scalar("select count(*) from lectura_descarga").toInt() != unloads ||
            scalar("select count(*) from lectura_Carga").toInt() != stored)
            return ::testing::AssertionFailure() << "rows of no file are stored";
        if (read)
            *read = stored;
        return ::testing::AssertionSuccess();
    }

private:
    int m_herds = 0;
    std::vector<File> m_files;
};

} // namespace zelvano::test
