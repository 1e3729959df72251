#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/dateoptions.h"

#include "app/jobrecord.h"
#include "common/errortext.h"
#include "download/download.h"
#include "store/connection.h"

#include <cstdio>

namespace zelvano {

// zelvano print --pdf FILE [--summary] [--from dd/MM/yyyy --to dd/MM/yyyy]
// Downloads into the grid and prints it into a PDF file through the window's
// print-out (handed in by the program: the command line has no widgets).
// Exit 1, and no file, when the download failed (a part would pass for the
// whole) or the print-out could not be made.
int cmdPrint(CliEnv &env, const QStringList &args)
{
    const QString pdfOption = QStringLiteral("--pdf");
    const QString summaryFlag = QStringLiteral("--summary");
    DownloadOptions options;
    QString problem;
    if (!readDownloadOptions(args, {summaryFlag}, {pdfOption}, &options, &problem) ||
        options.values.value(pdfOption).isEmpty()) {
        if (!problem.isEmpty())
            printError(QStringLiteral("print: ") + problem);
        printError(QStringLiteral(
            "usage: zelvano print --pdf FILE [--summary] [--from dd/MM/yyyy --to dd/MM/yyyy]"));
        return 2;
    }
    if (!env.hooks.printToPdf) {
        printError(QStringLiteral("zelvano: printing is not available in this build"));
        return 2;
    }
    const QString pdf = options.values.value(pdfOption);
    applyDownloadOptions(env.ctx, options);
    if (!env.connect())
        return 1;
    // The print-out shows what the grid holds, as the window's button does; a
    // download that failed is told, and its event is in the log.
    const QDateTime started = env.ctx.clock.now();
    const DownloadOutcome downloaded = CmdDescargar_Click(env.ctx);
    recordDownload(env.ctx, started, &downloaded, nullptr);
    closeLocalConnection(env.ctx);
    if (!downloaded.ok()) {
        printError(QStringLiteral("download: ") + downloaded.errorText());
        printError(QStringLiteral("No se imprimió nada: la descarga falló y el listado quedaría "
                                  "incompleto. ") +
                   clerkExplanation(*downloaded.error(), env.ctx.settings.ServerHost));
        return 1;
    }
    try {
        const int pages = env.hooks.printToPdf(pdf, env.ctx.grid, env.ctx.settings,
                                               options.flags.contains(summaryFlag));
        std::printf("%s: %d trips, %d pages\n", pdf.toLocal8Bit().constData(),
                    env.ctx.grid.rowCount(), pages);
    } catch (const AppError &error) {
        env.notices.messageBox(ErrorText::inProcedure(error, QStringLiteral("CmdImprimir_Click"),
                                                      QStringLiteral("Formulario FrmSucesos")),
                               UserNotices::Icon::Critical,
                               QStringLiteral("Error en CmdImprimir_Click "));
        return 1;
    }
    return 0;
}

} // namespace zelvano
