#include "cli/cli.h"
#include "cli/commands.h"

#include "app/headless.h"
#include "common/error.h"
#include "common/vb.h"
#include "platform/locale.h"
#include "store/connection.h"
#include "store/settings.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace zelvano {

void printError(const QString &text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

EventEcho::EventEcho(AppContext &ctx) : m_ctx(ctx)
{
    try {
        const Recordset rs = ctx.db().openRecordset(QStringLiteral("select max(id) from sucesos"));
        if (!rs.eof() && !vb::isNull(rs.value(0)))
            m_last = qint64(vb::toDouble(rs.value(0)));
    } catch (const AppError &) {
        // Nothing to echo from a log that cannot be read.
    }
}

QStringList EventEcho::newEvents() const
{
    QStringList texts;
    try {
        Recordset rs = m_ctx.db().openRecordset(
            QStringLiteral("select descripcion from sucesos where id > %1 order by id").arg(m_last));
        for (; !rs.eof(); rs.moveNext())
            texts << vb::joinText(rs.value(0));
    } catch (const AppError &) {
    }
    return texts;
}

void EventEcho::printNewEvents() const
{
    for (const QString &text : newEvents())
        printError(text);
}

CliEnv::CliEnv(const QString &homeDir, const ProgramHooks &programHooks)
    : ctx(clock, notices, overlay, window), hooks(programHooks)
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

std::vector<CommandSpec> commands()
{
    const QString range = QStringLiteral("[--from dd/MM/yyyy --to dd/MM/yyyy]");
    return {
        {QStringLiteral("setup"), QStringLiteral("setup --database PATH [--new] [--force]"),
         QStringLiteral("Point the home's conexion.txt at the suite's database (checked first), "
                        "or with --new at a new, empty one; an existing conexion.txt is kept "
                        "unless --force."),
         cmdSetup},
        {QStringLiteral("init-db"), QStringLiteral("init-db PATH"),
         QStringLiteral("Create an empty local database with the program's schema."), cmdInitDb},
        {QStringLiteral("settings"), QStringLiteral("settings"),
         QStringLiteral("Print the settings loaded from the local database."), cmdSettings},
        {QStringLiteral("events"), QStringLiteral("events"),
         QStringLiteral("Print the last seven days of events, newest first."), cmdEvents},
        {QStringLiteral("sql-script"), QStringLiteral("sql-script FILE"),
         QStringLiteral("Run a file of statements (\";\" ends each) in one transaction."),
         cmdSqlScript},
        {QStringLiteral("json"), QStringLiteral("json FILE"),
         QStringLiteral("Parse a JSON file and print its tree; the parser's messages on stderr."),
         cmdJson},
        {QStringLiteral("rows"), QStringLiteral("rows FILE"),
         QStringLiteral("Print the rows of a server answer, one JSON object a line."), cmdRows},
        {QStringLiteral("script"), QStringLiteral("script FILE"),
         QStringLiteral("Evaluate a JSON script and print its result."), cmdScript},
        {QStringLiteral("download"), QStringLiteral("download ") + range + QStringLiteral(" [--json]"),
         QStringLiteral("Download trips from the remote server and print the trip grid."),
         cmdDownload},
        {QStringLiteral("save"), QStringLiteral("save ") + range,
         QStringLiteral("Download the farm's trips and save them, as one scheduler cycle does."),
         cmdSave},
        {QStringLiteral("import"), QStringLiteral("import"),
         QStringLiteral("Scan the import folder once and import the new milking files."), cmdImport},
        {QStringLiteral("sync"), QStringLiteral("sync"),
         QStringLiteral("Synchronise the milk-production records with the server once, both ways."),
         cmdSync},
        {QStringLiteral("print"), QStringLiteral("print --pdf FILE ") + range,
         QStringLiteral("Download the trips (new ones, or those of the date range) and print "
                        "the trip grid into a PDF file."),
         cmdPrint},
        {QStringLiteral("status"), QStringLiteral("status [--json]"),
         QStringLiteral("Tell, without writing anything, whether the program runs for the folder, "
                        "how each job last ended and what waits to be done; exit 0 when every "
                        "job's last run succeeded or never ran, 1 when one failed, 2 when the "
                        "database cannot be read."),
         cmdStatus},
    };
}

QString programHome(const QString &homeOption)
{
    if (!homeOption.isEmpty())
        return QDir(homeOption).absolutePath();
    // A copy unpacked into a folder of its own keeps its conexion.txt beside
    // it; an installed one (in /usr/bin) has none there and keeps it in the
    // user's configuration folder.
    const QString own = QCoreApplication::applicationDirPath();
    if (QFileInfo(QDir(own).filePath(QStringLiteral("conexion.txt"))).isFile())
        return own;
    return userHome();
}

QString userHome()
{
    // XDG_CONFIG_HOME counts only when absolute; otherwise ~/.config.
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return QDir::cleanPath(config + QStringLiteral("/zelvano"));
}

int runCommandLine(const QStringList &arguments, const ProgramHooks &hooks)
{
    const std::vector<CommandSpec> all = commands();

    QCommandLineParser parser;
    QString list;
    for (const CommandSpec &c : all)
        list += QStringLiteral("  %1\n      %2\n").arg(c.synopsis, c.summary);
    parser.setApplicationDescription(
        QStringLiteral("Zelvano: feeding trips, milk production and events for the farm office.\n"
                       "Without a command it runs in the notification area.\n\nCommands:\n") +
        list);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption homeOption(
        QStringLiteral("home"),
        QStringLiteral("The program's folder, which holds conexion.txt (default: the "
                       "executable's folder when it holds one, else "
                       "$XDG_CONFIG_HOME/zelvano, ~/.config/zelvano)."),
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
    if (parser.isSet(headlessOption))
        return runHeadlessProgram(home);
    if (positional.isEmpty()) {
        if (!hooks.trayProgram) {
            printError(QStringLiteral("zelvano: the tray program is not available in this build"));
            return 2;
        }
        return hooks.trayProgram(home);
    }
    const QString name = positional.first();
    for (const CommandSpec &c : all) {
        if (c.name == name) {
            CliEnv env(home, hooks);
            return c.run(env, positional.mid(1));
        }
    }
    printError(QStringLiteral("zelvano: unknown command '%1' (see --help)").arg(name));
    return 2;
}

} // namespace zelvano
