#pragma once

#include "milk/import.h"
#include "support/testsupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QStringList &list, std::ostream *os)
{
    *os << '[';
    for (const QString &text : list)
        *os << '"' << text.toStdString() << "\" ";
    *os << ']';
}

namespace zelvano::test {

// A test home with an export folder and the import settings of a dairy:
// Delpro files split by ";" under a locale with the given decimal mark.
class MilkHome : public TestHome
{
public:
    explicit MilkHome(const QString &localeDecimal = QStringLiteral("."))
    {
        connect();
        QDir(dir()).mkpath(QStringLiteral("export"));
        Settings &s = ctx.settings;
        s.ImportSoftware = QStringLiteral("delpro");
        s.ImportFolder = folder();
        s.ImportFileName = QString();
        s.CsvSplitMark = QStringLiteral(";");
        s.CsvDecimalSeparator = localeDecimal;
        s.LocaleDecimalSeparator = localeDecimal;
    }

    QString folder() const { return filePath(QStringLiteral("export")); }
    QString exportPath(const QString &name) const { return folder() + u'/' + name; }

    // Writes a finished export into the export folder exactly as given: its
    // last change a minute before the clock's now.
    QString writeExport(const QString &name, const QByteArray &bytes) const
    {
        QFile file(exportPath(name));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw std::runtime_error("cannot write export file");
        file.write(bytes);
        file.close();
        setChanged(name, clock.now().addSecs(-60));
        return file.fileName();
    }

    // Dates the file and lets it stand as it is now since long before the
    // scans' last look, so that the next scan finds it finished.
    void setChanged(const QString &name, const QDateTime &when) const
    {
        {
            QFile file(exportPath(name));
            if (!file.open(QIODevice::ReadWrite) ||
                !file.setFileTime(when, QFileDevice::FileModificationTime))
                throw std::runtime_error("cannot set the time of an export file");
        }
        FileLooks::ofProcess().seen(exportPath(name), FileStamp::of(exportPath(name)),
                                    clock.monotonicMs() - kSettleMs);
    }

    QStringList exportNames() const
    {
        return QDir(folder()).entryList(QDir::Files | QDir::Hidden, QDir::Name | QDir::IgnoreCase);
    }

    int count(const QString &table) const
    {
        return scalar(QStringLiteral("select count(*) from ") + table).toInt();
    }

    void addHerd(const QString &id, const QString &name, const QVariant &codes, int category = 1,
                 int activity = 2, int pen = 3) const
    {
        exec(QStringLiteral("insert into rodeos (id, id_cat, Descripcion, cabezas, codigos, "
                            "actividad, corral) values ('%1', %2, '%3', 0, %4, %5, %6)")
                 .arg(id)
                 .arg(category)
                 .arg(name, codes.isNull() ? QStringLiteral("null")
                                           : QStringLiteral("'") + codes.toString() + u'\'')
                 .arg(activity)
                 .arg(pen));
    }

    // A pit diet (7) with its prescription 30, programmed trip 2 and pit food 501.
    void addPitDiet(bool withFood = true) const
    {
        exec(QStringLiteral("insert into dietas (id, nombre, delpro) values (7, 'Fosa', true)"));
        exec(QStringLiteral(
            "insert into prescripcion_viajes values (29, 1, 'Vieja', 0, '05:00', '1', '7')"));
        exec(QStringLiteral(
            "insert into prescripcion_viajes values (30, 2, 'Racion fosa', 0, '06:30:00', "
            "'2.5', '7')"));
        if (withFood)
            exec(QStringLiteral("insert into Prescripcion_detalle_alimentos values (30, 2, 501, "
                                "'Balanceado fosa', 0)"));
    }
};

} // namespace zelvano::test
