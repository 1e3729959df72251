#include "app/operation.h"

#include "common/error.h"
#include "common/errortext.h"
#include "store/appcontext.h"
#include "store/connection.h"
#include "store/eventlog.h"

namespace zelvano {

OperationGuard::OperationGuard(AppContext &ctx, const QString &name) : m_ctx(ctx)
{
    if (!ctx.runningOperation.isEmpty())
        return;
    ctx.runningOperation = name;
    m_acquired = true;
}

OperationGuard::~OperationGuard()
{
    if (m_acquired)
        m_ctx.runningOperation.clear();
}

bool operationRunning(const AppContext &ctx)
{
    return !ctx.runningOperation.isEmpty();
}

QString busyNoticeText(const QString &running)
{
    Q_UNUSED(running);
    return QStringLiteral("Zelvano esta ocupado con otra tarea, intente nuevamente en unos "
                          "instantes");
}

bool runUserOperation(AppContext &ctx, const QString &procedure, const std::function<void()> &work)
{
    OperationGuard guard(ctx, procedure);
    if (!guard.acquired()) {
        ctx.notices.popup(busyNoticeText(ctx.runningOperation));
        return false;
    }
    bool opened = false;
    if (!ctx.Connected) {
        Conectar_Base(ctx);
        // Its box said why; the operation would only add boxes of its own
        // about the same closed database.
        if (!ctx.Connected)
            return true;
        opened = true;
    }
    try {
        work();
    } catch (const AppError &error) {
        ctx.notices.messageBox(ErrorText::inWindow(error, procedure) + ctx.timeText(),
                               UserNotices::Icon::Critical, QStringLiteral("Zelvano"));
    } catch (const std::exception &error) {
        ctx.notices.messageBox(
            ErrorText::inWindow(AppError(0, QString::fromLocal8Bit(error.what())), procedure) +
                ctx.timeText(),
            UserNotices::Icon::Critical, QStringLiteral("Zelvano"));
    }
    if (opened && ctx.Connected)
        closeLocalConnection(ctx);
    return true;
}

} // namespace zelvano
