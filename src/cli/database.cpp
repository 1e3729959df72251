#include "cli/cli.h"
#include "cli/commands.h"

#include "common/error.h"
#include "common/vb.h"
#include "store/connection.h"
#include "store/eventlog.h"
#include "store/schema.h"
#include "store/transaction.h"

#include <QFile>
#include <QTextStream>

namespace zelvano {

namespace {

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

} // namespace

int cmdInitDb(CliEnv &, const QStringList &args)
{
    if (args.size() != 1) {
        printError(QStringLiteral("usage: zelvano init-db PATH"));
        return 2;
    }
    try {
        createLocalDatabase(args.at(0));
    } catch (const AppError &error) {
        printError(error.text());
        return 1;
    }
    out() << "created " << args.at(0) << Qt::endl;
    return 0;
}

int cmdSettings(CliEnv &env, const QStringList &)
{
    if (!env.connect())
        return 1;
    for (const QString &line : env.ctx.settings.describe())
        out() << line << '\n';
    out().flush();
    closeLocalConnection(env.ctx);
    return 0;
}

int cmdEvents(CliEnv &env, const QStringList &)
{
    if (!env.connect())
        return 1;
    if (!Cargar_Sucesos(env.ctx).ok())
        return 1;
    for (const EventRow &row : env.ctx.events)
        out() << vb::joinText(row.id) << '\t' << vb::joinText(row.fecha) << '\t'
              << vb::joinText(row.descripcion) << '\n';
    out().flush();
    return 0;
}

// Runs a file of statements in the suite's dialect, one after the other, in one
// transaction; a statement ends with ";" at the end of a line.
int cmdSqlScript(CliEnv &env, const QStringList &args)
{
    if (args.size() != 1) {
        printError(QStringLiteral("usage: zelvano sql-script FILE"));
        return 2;
    }
    QFile file(args.at(0));
    if (!file.open(QIODevice::ReadOnly)) {
        printError(QStringLiteral("cannot read %1").arg(args.at(0)));
        return 1;
    }
    if (!env.connect())
        return 1;
    QStringList statements;
    QString current;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1String("--")) || trimmed.isEmpty())
            continue;
        current += line + u'\n';
        if (trimmed.endsWith(u';')) {
            statements << current.trimmed().chopped(1);
            current.clear();
        }
    }
    if (!current.trimmed().isEmpty())
        statements << current.trimmed();
    LocalConnection &db = env.ctx.db();
    int done = 0;
    try {
        Transaction transaction(db);
        for (const QString &statement : statements) {
            db.execute(statement);
            ++done;
        }
        transaction.commit();
    } catch (const AppError &error) {
        printError(QStringLiteral("statement %1: %2\n%3").arg(done + 1).arg(error.text(), statements.value(done)));
        return 1;
    }
    out() << done << " statements" << Qt::endl;
    closeLocalConnection(env.ctx);
    return 0;
}

} // namespace zelvano
