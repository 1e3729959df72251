#include "milk/import_cli.h"

#include "app/cli.h"
#include "milk/import.h"
#include "store/connection.h"

#include <QTextStream>

#include <cstdio>

namespace zelvano {

int cmdImport(CliEnv &env, const QStringList &args)
{
    if (!args.isEmpty()) {
        std::fprintf(stderr, "usage: zelvano import\n");
        return 2;
    }
    if (!env.connect())
        return 1;
    const std::vector<ImportedFile> files = scanImportFolder(env.ctx);
    QTextStream out(stdout);
    for (const ImportedFile &file : files)
        out << file.name << " -> " << file.readName << '\n';
    out.flush();
    closeLocalConnection(env.ctx);
    return env.notices.messageCount() > 0 ? 1 : 0;
}

} // namespace zelvano
