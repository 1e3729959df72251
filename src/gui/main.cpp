#include "app/headless.h"
#include "cli/cli.h"
#include "gui/printout.h"
#include "gui/trayprogram.h"
#include "version.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

enum class Mode { Tray, Print, Other };

// What the command line asks for, read before the application object exists:
// only the tray program and the print-out need a display.
Mode modeOf(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const char *a = argv[i];
        if (std::strcmp(a, "--home") == 0) {
            ++i;
            continue;
        }
        if (std::strncmp(a, "--home=", 7) == 0)
            continue;
        if (a[0] == '-')
            return Mode::Other; // --headless, --help, --version
        return std::strcmp(a, "print") == 0 ? Mode::Print : Mode::Other;
    }
    return Mode::Tray;
}

} // namespace

int main(int argc, char *argv[])
{
    // The service may be told to stop while it is still starting.
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--headless") == 0)
            zelvano::TerminationSignals::holdUntilInstalled();
    const Mode mode = modeOf(argc, argv);
    QString why;
    const bool display = zelvano::gui::displayAvailable(&why);
    if (mode == Mode::Tray && !display) {
        std::fprintf(
            stderr,
            "zelvano: %s.\nThe tray program needs a desktop; run \"zelvano --headless\" for "
            "the service without a window.\n",
            why.toLocal8Bit().constData());
        return 1;
    }
    // The print-out renders into a file and needs no screen.
    if (mode == Mode::Print && !display)
        qputenv("QT_QPA_PLATFORM", "offscreen");

    std::unique_ptr<QCoreApplication> app;
    if (mode == Mode::Other)
        app = std::make_unique<QCoreApplication>(argc, argv);
    else
        app = std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zelvano"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(zelvano::kVersionText));

    zelvano::ProgramHooks hooks;
    hooks.trayProgram = zelvano::gui::runTrayProgram;
    hooks.printToPdf = [](const QString &pdf, const zelvano::TripGrid &grid,
                          const zelvano::Settings &settings, bool summary) {
        return zelvano::gui::printTripGridToPdf(pdf, grid, settings, QDateTime::currentDateTime(),
                                                summary ? zelvano::gui::PrintForm::Summary
                                                        : zelvano::gui::PrintForm::Full);
    };
    return zelvano::runCommandLine(QCoreApplication::arguments(), hooks);
}
