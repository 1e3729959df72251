#pragma once

#include "support/childprocess.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QThread>

#include <functional>

namespace zelvano::test {

// The service on a home folder, as systemd starts it.
inline QStringList serviceArguments(const QString &home)
{
    return {QStringLiteral("--home"), home, QStringLiteral("--headless")};
}

// Polls until done() holds; false after timeoutMs.
inline bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QThread::msleep(10);
    }
    return true;
}

// Waits until the child's standard error holds text.
inline bool waitForError(ChildProcess &child, const QByteArray &text, int timeoutMs = 15000)
{
    return waitUntil([&] { return child.standardError().contains(text); }, timeoutMs);
}

} // namespace zelvano::test
