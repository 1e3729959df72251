#include "app/singleinstance.h"

#include "platform/processlist.h"
#include "store/appcontext.h"

namespace zelvano {

bool secondCopyListed(const QStringList &processNames, const QString &executableName)
{
    qint16 found = 0;
    for (const QString &name : processNames) {
        if (name.compare(executableName, Qt::CaseSensitive) != 0)
            continue;
        if (found >= 1)
            return true;
        ++found;
    }
    return false;
}

bool Ver_Abierto(AppContext &ctx, const ProcessList &processes, const QString &executableName)
{
    if (!secondCopyListed(processes.names(), executableName))
        return false;
    ctx.notices.messageBox(QStringLiteral("Ya hay una version en ejecucion de Zelvano"),
                           UserNotices::Icon::Exclamation, QStringLiteral("Zelvano"));
    return true;
}

} // namespace zelvano
