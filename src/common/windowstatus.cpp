#include "common/windowstatus.h"

#include "version.h"

#include <QCoreApplication>

namespace zelvano {

void HeadlessWindowStatus::yieldToEvents()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

QString joinJobResult(const QString &previous, const QString &text, WindowStatus::ResultLine line)
{
    if (line == WindowStatus::ResultLine::Added && !previous.isEmpty())
        return previous + u'\n' + text;
    return text;
}

QString windowCaption(const QString &status)
{
    return QStringLiteral("Zelvano - V.%1.%2.%3 - %4")
        .arg(kVersionMajor)
        .arg(kVersionMinor)
        .arg(kVersionRevision)
        .arg(status);
}

} // namespace zelvano
