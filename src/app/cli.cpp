#include "app/cli.h"

#include "common/error.h"
#include "common/vb.h"
#include "download/download_cli.h"
#include "json/json_cli.h"
#include "platform/locale.h"
#include "store/connection.h"
#include "store/eventlog.h"
#include "store/schema.h"
#include "version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTextStream>

#include <cstdio>

namespace zelvano {

namespace {

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

void printError(const QString &text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

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
    Cargar_Sucesos(env.ctx);
    if (env.notices.messageCount() > 0)
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
        db.beginTrans();
        for (const QString &statement : statements) {
            db.execute(statement);
            ++done;
        }
        db.commitTrans();
    } catch (const AppError &error) {
        db.rollbackTrans();
        printError(QStringLiteral("statement %1: %2\n%3").arg(done + 1).arg(error.text(), statements.value(done)));
        return 1;
    }
    out() << done << " statements" << Qt::endl;
    closeLocalConnection(env.ctx);
    return 0;
}

} // namespace

CliEnv::CliEnv(const QString &homeDir) : ctx(clock, notices, overlay, window)
{
    ctx.homeDir = homeDir;
    ctx.settings.LocaleDecimalSeparator = Leer_Locale(kLocaleDecimalSeparator);
    ctx.DThasta = clock.today();
    ctx.endProgram = [](int code) { std::exit(code); };
}

bool CliEnv::connect()
{
    ctx.LockNoticeArmed = true;
    Conectar_Base(ctx);
    if (!ctx.Connected)
        return false;
    Inicializar_Usuarios(ctx);
    return true;
}

std::vector<CommandSpec> coreCommands()
{
    return {
        {QStringLiteral("init-db"), QStringLiteral("init-db PATH"),
         QStringLiteral("Create an empty local database with the program's schema."), cmdInitDb},
        {QStringLiteral("settings"), QStringLiteral("settings"),
         QStringLiteral("Print the settings loaded from the local database."), cmdSettings},
        {QStringLiteral("events"), QStringLiteral("events"),
         QStringLiteral("Print the last seven days of events, newest first."), cmdEvents},
        {QStringLiteral("sql-script"), QStringLiteral("sql-script FILE"),
         QStringLiteral("Run a file of statements (\";\" ends each) in one transaction."),
         cmdSqlScript},
        // json commands
        {QStringLiteral("json"), QStringLiteral("json FILE"),
         QStringLiteral("Parse a JSON file and print its tree; the parser's messages on stderr."),
         json::cmdJson},
        {QStringLiteral("rows"), QStringLiteral("rows FILE"),
         QStringLiteral("Print the rows of a server answer, one JSON object a line."),
         json::cmdRows},
        {QStringLiteral("script"), QStringLiteral("script FILE"),
         QStringLiteral("Evaluate a JSON script and print its result."), json::cmdScript},
        // download commands
        {QStringLiteral("download"),
         QStringLiteral("download [--from dd/MM/yyyy --to dd/MM/yyyy] [--json]"),
         QStringLiteral("Download trips from the remote server and print the trip grid."),
         cmdDownload},
        // save commands
        // import commands
        // sync commands
    };
}

QString programHome(const QString &homeOption)
{
    if (!homeOption.isEmpty())
        return QDir(homeOption).absolutePath();
    return QCoreApplication::applicationDirPath();
}

int runCommandLine(const QStringList &arguments, const ProgramHooks &hooks)
{
    std::vector<CommandSpec> commands = coreCommands();
    for (const CommandSpec &extra : hooks.extraCommands)
        commands.push_back(extra);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Zelvano: feeding trips, milk production and events for the farm office.\n"
                       "Without a command it runs in the notification area.\n\nCommands:\n") +
        [&] {
            QString list;
            for (const CommandSpec &c : commands)
                list += QStringLiteral("  %1\n      %2\n").arg(c.synopsis, c.summary);
            return list;
        }());
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption homeOption(QStringLiteral("home"),
                                        QStringLiteral("The program's folder (conexion.txt)."),
                                        QStringLiteral("DIR"));
    const QCommandLineOption headlessOption(
        QStringLiteral("headless"), QStringLiteral("Run the scheduler without a window or tray icon."));
    parser.addOption(homeOption);
    parser.addOption(headlessOption);
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("The command to run."),
                                 QStringLiteral("[command [args...]]"));
    parser.process(arguments);

    const QString home = programHome(parser.value(homeOption));
    const QStringList positional = parser.positionalArguments();
    if (parser.isSet(headlessOption)) {
        if (!hooks.headlessProgram) {
            printError(QStringLiteral("zelvano: the headless service is not available in this build"));
            return 2;
        }
        return hooks.headlessProgram(home);
    }
    if (positional.isEmpty()) {
        if (!hooks.trayProgram) {
            printError(QStringLiteral("zelvano: the tray program is not available in this build"));
            return 2;
        }
        return hooks.trayProgram(home);
    }
    const QString name = positional.first();
    for (const CommandSpec &c : commands) {
        if (c.name == name) {
            CliEnv env(home);
            return c.run(env, positional.mid(1));
        }
    }
    printError(QStringLiteral("zelvano: unknown command '%1' (see --help)").arg(name));
    return 2;
}

} // namespace zelvano
