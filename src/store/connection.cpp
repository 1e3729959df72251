#include "store/connection.h"

#include "common/error.h"
#include "store/appcontext.h"
#include "store/programtables.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>

namespace zelvano {

namespace {

// Every line of the file joined without separators; error 53 when it is missing.
QString readJoinedLines(const QString &fileName)
{
    QFile file(fileName);
    if (!file.exists())
        raise(ErrNo::FileNotFound);
    if (!file.open(QIODevice::ReadOnly))
        raise(ErrNo::PermissionDenied);
    const QByteArray bytes = file.readAll();
    auto toUtf16 = QStringDecoder(QStringDecoder::Utf8);
    QString text = toUtf16(bytes);
    if (toUtf16.hasError())
        text = QString::fromLatin1(bytes);
    static const QRegularExpression lineEnds(QStringLiteral("\r\n|\r|\n"));
    return text.split(lineEnds).join(QString());
}

void tellFailure(AppContext &ctx, const AppError &error)
{
    ctx.window.showWindow();
    using Icon = UserNotices::Icon;
    switch (error.number()) {
    case ErrNo::LoginRefused:
        ctx.notices.messageBox(QStringLiteral("No existe conexion a una base de datos valida"),
                               Icon::Information, QStringLiteral("Sin Conexion"));
        return;
    case ErrNo::ProviderFailure:
        ctx.notices.messageBox(
            QStringLiteral("El equipo remoto al que esta tratando de conectarse no esta disponible, "
                           "verifique el estado de su red"),
            Icon::Information, QStringLiteral("Servidor no Disponible"));
        return;
    case ErrNo::FileNotFound:
        ctx.notices.messageBox(
            QStringLiteral("No se encontro el archivo de conexion con la base de datos"),
            Icon::Information, QStringLiteral("Servidor no Disponible"));
        return;
    default:
        ctx.notices.messageBox(QStringLiteral("Error desconocido al tratar de conectarse a la base de "
                                              "datos de Brenmoor Avanzado el programa se cerrará") +
                                   error.description(),
                               Icon::Critical, QStringLiteral("Error N º %1").arg(error.number()));
        closeLocalConnection(ctx);
        if (ctx.endProgram)
            ctx.endProgram(1);
        return;
    }
}

} // namespace

bool cutConnectionPath(const QString &joined, QString *path)
{
    const qsizetype p = joined.indexOf(u'=') + 1; // 1-based, 0 when absent
    const qsizetype length = joined.size() - p - 1;
    if (length < 0)
        return false;
    *path = joined.right(length);
    // Blanks and tabs after the path are not part of it (an editor leaves them).
    qsizetype end = path->size();
    while (end > 0 && (path->at(end - 1) == u' ' || path->at(end - 1) == u'\t'))
        --end;
    path->truncate(end);
    return true;
}

QString lockFileName(const QString &databasePath)
{
    if (!databasePath.contains(QLatin1String(".mdb"), Qt::CaseInsensitive))
        return QString();
    QString lock = databasePath;
    lock.replace(QLatin1String(".mdb"), QLatin1String(".ldb"), Qt::CaseInsensitive);
    return lock;
}

QString localConnectionString(const QString &databasePath)
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + databasePath +
           QStringLiteral(";Persist Security Info=False;Jet OLEDB:Database Password=51946302");
}

void Conectar_Base(AppContext &ctx)
{
    try {
        closeLocalConnection(ctx);
        const QString joined = readJoinedLines(QDir(ctx.homeDir).filePath(QStringLiteral("conexion.txt")));
        QString path;
        // A file too short to hold a path is a connection file without a
        // database: told like a missing one, and the program keeps running.
        if (!cutConnectionPath(joined, &path))
            raise(ErrNo::FileNotFound);
        ctx.Connected = false;

        const QString lock = lockFileName(path);
        if (!lock.isEmpty() && (lock.contains(QLatin1String("Google Drive")) ||
                                lock.contains(QLatin1String("Dropbox")))) {
            if (QFileInfo(lock).isFile()) {
                if (ctx.LockNoticeArmed) {
                    ctx.notices.popup(QStringLiteral("          Zelvano le Informa \r\n\r\n"
                                                     "La base de datos esta siendo utilizada \r\n"
                                                     " via Dropbox o Google drive, no se \r\n"
                                                     " pudo hacer la sincronización"));
                }
                ctx.LockNoticeArmed = false;
                return;
            }
        }

        // The engine would take an empty file for an empty database and every
        // job would then fail on missing tables; the suite's engine refuses it.
        if (const QFileInfo file(path); file.isFile() && file.size() == 0)
            raise(ErrNo::ProviderFailure,
                  QStringLiteral("Unrecognized database format '%1'.").arg(path));
        auto connection = std::make_unique<LocalConnection>();
        connection->open(path);
        ensureProgramTables(*connection);
        ctx.connection = std::move(connection);
        ctx.Connected = true;
        ctx.LockNoticeArmed = true;
    } catch (const AppError &error) {
        ctx.Connected = false;
        tellFailure(ctx, error);
    }
}

void closeLocalConnection(AppContext &ctx)
{
    if (ctx.connection)
        ctx.connection->close();
    ctx.connection.reset();
    ctx.Connected = false;
}

} // namespace zelvano
