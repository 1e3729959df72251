#pragma once

#include "common/clock.h"
#include "common/usernotices.h"
#include "common/waitoverlay.h"
#include "common/windowstatus.h"
#include "store/appcontext.h"

#include <QStringList>

#include <functional>
#include <vector>

namespace zelvano {

class TripGrid;

// Notices for the command line: printed on standard error like a headless run,
// and counted, so that a command can exit non-zero after a failure message.
class CommandLineNotices : public HeadlessNotices
{
public:
    void messageBox(const QString &text, Icon icon, const QString &title) override
    {
        ++m_messages;
        HeadlessNotices::messageBox(text, icon, title);
    }
    int messageCount() const { return m_messages; }

private:
    int m_messages = 0;
};

// What main() adds to the core's command line: the parts that need widgets.
struct ProgramHooks
{
    // The tray program (no command).
    std::function<int(const QString &homeDir)> trayProgram;
    // The print-out of a grid into a PDF file; returns the pages, raises
    // AppError when it cannot be painted.
    // `summary`: the short form, one line per trip.
    std::function<int(const QString &pdf, const TripGrid &grid, const Settings &settings,
                      bool summary)>
        printToPdf;
};

// What a command runs with: a headless context on the chosen home folder.
struct CliEnv
{
    CliEnv(const QString &homeDir, const ProgramHooks &hooks);

    SystemClock clock;
    CommandLineNotices notices;
    HeadlessOverlay overlay;
    HeadlessWindowStatus window;
    AppContext ctx;
    const ProgramHooks &hooks;

    // Connects and loads the settings; false (after the message) when the
    // local database could not be opened.
    bool connect();
};

using CommandFn = std::function<int(CliEnv &env, const QStringList &args)>;

struct CommandSpec
{
    QString name;
    QString synopsis; // "init-db PATH"
    QString summary;
    CommandFn run;
};

// The home folder for this run: --home; else the executable's folder when it
// holds a conexion.txt; else userHome().
QString programHome(const QString &homeOption);

// The home of an installed copy: $XDG_CONFIG_HOME/zelvano (~/.config/zelvano).
QString userHome();

// Runs the program's command line and returns the exit status.
int runCommandLine(const QStringList &arguments, const ProgramHooks &hooks);

// Every command, in the order the help lists them.
std::vector<CommandSpec> commands();

// Standard error, one line.
void printError(const QString &text);

// The events a command's job writes, shown once it ends: the job logs them in
// the suite's event table, the command echoes them for whoever runs it.
class EventEcho
{
public:
    // Remembers the newest event of the open connection.
    explicit EventEcho(AppContext &ctx);
    // The events written since, oldest first ("" when they cannot be read).
    QStringList newEvents() const;
    // The same, one a line on standard error.
    void printNewEvents() const;

private:
    AppContext &m_ctx;
    qint64 m_last = 0;
};

} // namespace zelvano
