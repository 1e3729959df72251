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

// What a command runs with: a headless context on the chosen home folder.
struct CliEnv
{
    explicit CliEnv(const QString &homeDir);

    SystemClock clock;
    CommandLineNotices notices;
    HeadlessOverlay overlay;
    HeadlessWindowStatus window;
    AppContext ctx;

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

// What main() adds to the core's command line: commands that need widgets,
// the tray program (no command) and the headless service (--headless).
struct ProgramHooks
{
    std::vector<CommandSpec> extraCommands;
    std::function<int(const QString &homeDir)> trayProgram;
    std::function<int(const QString &homeDir)> headlessProgram;
};

// The home folder for this run: --home, else the executable's folder.
QString programHome(const QString &homeOption);

// Runs the program's command line and returns the exit status.
int runCommandLine(const QStringList &arguments, const ProgramHooks &hooks);

// The commands of the core library.
std::vector<CommandSpec> coreCommands();

} // namespace zelvano
