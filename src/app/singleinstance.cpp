#include "app/singleinstance.h"

#include "platform/instancelock.h"
#include "store/appcontext.h"

namespace zelvano {

bool Ver_Abierto(AppContext &ctx, InstanceClaim &instance)
{
    if (instance.claim(ctx.homeDir))
        return false;
    ctx.notices.messageBox(QStringLiteral("Ya hay una version en ejecucion de Zelvano"),
                           UserNotices::Icon::Exclamation, QStringLiteral("Zelvano"));
    return true;
}

} // namespace zelvano
