#include "cli/cli.h"
#include "cli/commands.h"

#include "app/databasefile.h"
#include "app/jobrecord.h"
#include "common/error.h"
#include "store/schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTextStream>

namespace zelvano {

namespace {

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

// Why the file at path cannot be the program's database; "" when it can. It
// must be an SQLite file that opens, passes a quick check, holds every table
// of the schema and the settings row, and can be written, folder included (the
// rollback journal goes beside it).
QString whyNotTheDatabase(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("%1 does not exist (--new creates an empty database there)")
            .arg(path);
    if (!info.isFile())
        return QStringLiteral("%1 is not a file").arg(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("%1 cannot be read").arg(path);
    const QByteArray head = file.read(100);
    file.close();
    if (head.mid(4, 15) == "Standard Jet DB")
        return QStringLiteral("%1 is an Access database; the program works on the suite's "
                              "database in SQLite")
            .arg(path);
    if (!head.startsWith(QByteArrayLiteral("SQLite format 3\0")))
        return QStringLiteral("%1 is no database: it is not an SQLite file").arg(path);

    DatabaseFile db(path, DatabaseFile::Mode::ReadOnly, 2000);
    if (!db.isOpen())
        return QStringLiteral("%1 cannot be opened: %2").arg(path, db.error());
    QSqlQuery query(db.db());
    if (!query.exec(QStringLiteral("pragma quick_check")) || !query.next())
        return QStringLiteral("%1 is no database: %2").arg(path, db.db().lastError().text());
    if (query.value(0).toString() != QLatin1String("ok"))
        return QStringLiteral("%1 is damaged: %2").arg(path, query.value(0).toString());
    QStringList missing;
    const QStringList present = db.db().tables();
    for (const QString &table : localSchemaTables())
        if (!present.contains(table, Qt::CaseInsensitive))
            missing << table;
    if (!missing.isEmpty())
        return QStringLiteral("%1 is not the suite's database: it lacks the table%2 %3")
            .arg(path, missing.size() > 1 ? QStringLiteral("s") : QString(),
                 missing.join(QStringLiteral(", ")));
    if (!query.exec(QStringLiteral("select count(*) from mi_empresa")) || !query.next() ||
        query.value(0).toInt() == 0)
        return QStringLiteral("%1 is not ready: its table mi_empresa holds no settings row")
            .arg(path);
    if (!info.isWritable())
        return QStringLiteral("%1 cannot be written by this user").arg(path);
    if (!QFileInfo(info.absolutePath()).isWritable())
        return QStringLiteral("the folder %1 cannot be written by this user (the database "
                              "keeps its journal there)")
            .arg(info.absolutePath());
    return QString();
}

// How the user runs this program: its name when the PATH finds this very
// file, its whole path otherwise.
QString programCommand()
{
    const QString self = QCoreApplication::applicationFilePath();
    const QString found = QStandardPaths::findExecutable(QFileInfo(self).fileName());
    return !found.isEmpty() &&
                   QFileInfo(found).canonicalFilePath() == QFileInfo(self).canonicalFilePath()
               ? QFileInfo(self).fileName()
               : self;
}

} // namespace

// Points the home's conexion.txt at the suite's database (or at a new, empty
// one), so that an installed copy knows where to work.
int cmdSetup(CliEnv &env, const QStringList &args)
{
    QString database;
    bool createNew = false;
    bool force = false;
    bool wrong = false;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--database") && i + 1 < args.size())
            database = args[++i];
        else if (args[i] == QLatin1String("--new"))
            createNew = true;
        else if (args[i] == QLatin1String("--force"))
            force = true;
        else
            wrong = true;
    }
    if (database.isEmpty() || wrong) {
        printError(QStringLiteral("usage: zelvano setup --database PATH [--new] [--force]"));
        return 2;
    }
    const QString path = QFileInfo(database).absoluteFilePath();
    // conexion.txt holds the path on one line, and blanks after it are dropped
    // when it is read.
    if (path.contains(u'\n') || path.contains(u'\r') || path.endsWith(u' ') ||
        path.endsWith(u'\t')) {
        printError(QStringLiteral("setup: a database path with a line break or ending in a blank "
                                  "cannot be written into conexion.txt: %1")
                       .arg(path));
        return 1;
    }

    const QString home = env.ctx.homeDir;
    const QString connectionFile = QDir(home).filePath(QStringLiteral("conexion.txt"));
    if (QFileInfo::exists(connectionFile) && !force) {
        const QString current = localDatabasePath(home);
        if (current == path && !createNew) {
            out() << connectionFile << " already names " << path << "; nothing changed."
                  << Qt::endl;
            return 0;
        }
        printError(
            QStringLiteral("setup: %1 exists and names %2; it is kept (--force replaces it).")
                .arg(connectionFile, current.isEmpty() ? QStringLiteral("no database") : current));
        return 1;
    }

    if (createNew) {
        try {
            createLocalDatabase(path);
        } catch (const AppError &error) {
            printError(
                QStringLiteral("setup: cannot create %1: %2").arg(path, error.description()));
            return 1;
        }
        out() << "Created " << path << ", an empty database with the program's schema and default "
              << "settings." << Qt::endl;
    }
    if (const QString why = whyNotTheDatabase(path); !why.isEmpty()) {
        printError(QStringLiteral("setup: refused: ") + why);
        return 1;
    }
    if (!createNew)
        out() << "Checked " << path << ": the suite's database." << Qt::endl;

    // Written whole or not at all: a reader never sees half a file.
    if (!QDir().mkpath(home)) {
        printError(QStringLiteral("setup: cannot create the folder %1").arg(home));
        return 1;
    }
    QSaveFile file(connectionFile);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write((QStringLiteral("Data Source= ") + path + u'\n').toUtf8()) < 0 ||
        !file.commit()) {
        printError(
            QStringLiteral("setup: cannot write %1: %2").arg(connectionFile, file.errorString()));
        return 1;
    }
    // Read back as every run reads it.
    if (localDatabasePath(home) != path) {
        printError(QStringLiteral("setup: %1 does not read back as %2").arg(connectionFile, path));
        return 1;
    }
    out() << "Wrote " << connectionFile << '.' << Qt::endl;

    const QString program = programCommand();
    const QString run = home == userHome() ? program : program + QStringLiteral(" --home ") + home;
    out() << "\nStart the program:\n  " << run << "   the tray program";
    if (home == userHome())
        out() << " (an installed copy also starts with the desktop)\n"
              << "  systemctl --user enable --now zelvano   or the service, without a window\n";
    else
        out() << "\n  " << run << " --headless   or the service, without a window\n";
    out() << "Check it:\n  " << run << " settings\n  " << run << " status" << Qt::endl;
    return 0;
}

} // namespace zelvano
