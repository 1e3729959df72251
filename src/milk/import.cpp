#include "milk/import.h"

#include "common/datetexts.h"
#include "common/error.h"
#include "common/errortext.h"
#include "milk/csvreader.h"
#include "platform/folderlisting.h"
#include "store/appcontext.h"
#include "store/eventlog.h"
#include "sync/sync.h"
#include "trips/headcounts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace zelvano {

namespace {

const QString kReadPrefix = QStringLiteral("--leido--");

// "07-12-2026 10;00;00": the day and time of now, fit for a file name.
QString stamp(AppContext &ctx)
{
    const QDateTime now = ctx.clock.now();
    QString text = DateTexts::date(now.date()) + u' ' + DateTexts::time(now.time());
    text.replace(u'/', u'-');
    text.replace(u':', u';');
    return text;
}

// The read name, made unique when a file of that name is already there.
QString freeReadName(AppContext &ctx, const QDir &folder, const QString &name, bool dairy)
{
    const QString wanted = readFileName(ctx, name, dairy);
    if (!QFileInfo::exists(folder.filePath(wanted)))
        return wanted;
    const QString stamped = kReadPrefix + stamp(ctx) + u' ' + name;
    if (!QFileInfo::exists(folder.filePath(stamped)))
        return stamped;
    for (int n = 2;; ++n) {
        const QString numbered = kReadPrefix + stamp(ctx) + QStringLiteral(" (%1) ").arg(n) + name;
        if (!QFileInfo::exists(folder.filePath(numbered)))
            return numbered;
    }
}

} // namespace

QString readFileName(AppContext &ctx, const QString &name, bool dairy)
{
    return dairy ? kReadPrefix + stamp(ctx) + u' ' + name : kReadPrefix + name;
}

ImportOutcome Abrir(AppContext &ctx)
{
    ImportOutcome outcome;
    std::vector<ImportedFile> &read = outcome.files;
    const Settings &settings = ctx.settings;
    bool dairy = false;
    QString pattern;
    if (settings.ImportSoftware == QLatin1String("delpro")) {
        pattern = settings.ImportFileName + QStringLiteral("*.csv");
    } else if (settings.ImportSoftware == QLatin1String("dairy")) {
        dairy = true;
        pattern = settings.ImportFileName + QStringLiteral(".csv");
    } else {
        return outcome;
    }

    try {
        const QString folderPath = settings.ImportFolder;
        const QStringList names = listFolder(folderPath, pattern);
        const QDir folder(folderPath);
        for (const QString &name : names) {
            if (name.isEmpty() || name.contains(QLatin1String("leido")))
                continue;
            // Renamed before it is read, so that a file is never stored twice; a
            // file that cannot be renamed now is read at a later scan.
            const QString readName = freeReadName(ctx, folder, name, dairy);
            if (!QFile::rename(folder.filePath(name), folder.filePath(readName))) {
                Grabar_Suceso(ctx, ctx.today(),
                              QStringLiteral("No se pudo renombrar el archivo %1, se importara en la "
                                             "proxima lectura - %2")
                                  .arg(name, ctx.timeText()));
                outcome.failedFiles << name;
                outcome.fail(ErrNo::PermissionDenied,
                             QStringLiteral("No se pudo renombrar el archivo %1").arg(name));
                continue;
            }
            const MilkFileOutcome file = LeerDatos_CSV(ctx, folder.filePath(readName), name);
            if (!file.ok())
                outcome.failedFiles << name;
            outcome.take(file);
            read.push_back({name, readName});
        }
    } catch (const AppError &error) {
        outcome.fail(error);
        if (error.number() == ErrNo::PathNotFound) {
            ctx.notices.messageBox(
                QStringLiteral("Zelvano no pudo encontrar la ruta de importacion de archivos de Delpro "
                               "''") +
                    settings.ImportFolder +
                    QStringLiteral("'', verificar la misma en Brenmoor Avanzado desde Tablero de "
                                   "Control - Datos Remotos"),
                UserNotices::Icon::Exclamation, QStringLiteral("Zelvano"));
        } else {
            ctx.notices.messageBox(
                ErrorText::descriptionFirst(error, QStringLiteral("procedimiento Abrir of Formulario FrmProdDia")),
                UserNotices::Icon::Critical, QStringLiteral("Error Nº: %1").arg(error.number()));
        }
        return outcome;
    }

    if (!read.empty()) {
        if (settings.HeadCountFromMilk)
            outcome.take(Actualizar_Cabezas_Litros(ctx));
        outcome.sync = Sincronizar_CabProd(ctx, false);
    }
    return outcome;
}

} // namespace zelvano
