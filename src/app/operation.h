#pragma once

#include <QString>

#include <functional>

namespace zelvano {

struct AppContext;

// Holds ctx.runningOperation for one operation; acquired() is false when
// another operation was already running (nothing is taken then).
class OperationGuard
{
public:
    OperationGuard(AppContext &ctx, const QString &name);
    ~OperationGuard();
    OperationGuard(const OperationGuard &) = delete;
    OperationGuard &operator=(const OperationGuard &) = delete;

    bool acquired() const { return m_acquired; }

private:
    AppContext &m_ctx;
    bool m_acquired = false;
};

bool operationRunning(const AppContext &ctx);

// The short notice for a refused operation.
QString busyNoticeText(const QString &running);

// Runs an operation the user started from a button or a menu entry. Refused
// with a short notice while another operation runs (false then). It opens the
// local connection when closed and closes only a connection it opened itself;
// when it cannot be opened the work does not run (the connection's box told why).
// An error that escapes the operation is shown in a message box.
bool runUserOperation(AppContext &ctx, const QString &procedure, const std::function<void()> &work);

} // namespace zelvano
