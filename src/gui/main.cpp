#include "app/cli.h"
#include "app/headless.h"
#include "version.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zelvano"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(zelvano::kVersionText));
    zelvano::ProgramHooks hooks;
    hooks.headlessProgram = zelvano::runHeadlessProgram;
    return zelvano::runCommandLine(QCoreApplication::arguments(), hooks);
}
