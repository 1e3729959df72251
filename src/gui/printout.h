#pragma once

#include "common/tripgrid.h"

#include <QDateTime>
#include <QString>

class QPrinter;
class QWidget;

namespace zelvano {
struct AppContext;
struct Settings;
} // namespace zelvano

namespace zelvano::gui {

QString printHeaderText();  // "Listado de Sucesos"
QString printBrandFooter(); // "Brenmoor Más - Gestión de Alimentos"
// The four company fields joined by " - ", a Null field as nothing.
QString printCompanyFooter(const Settings &settings);

// The line under the header: what the download asked for. "Viajes nuevos",
// "Viajes del 05/01/2024 al 07/01/2024", "Viajes hasta el 07/01/2024" (the
// first picker left empty); nothing before any download.
QString printSelectionText(const TripGrid::Selection &selection);
QString printPageText(int page, int pages);        // "Página 2 de 7"
QString printDateText(const QDateTime &printedAt); // "Impreso el 07/12/2026 10:05"

// Office printers clip what comes closer to the paper's edge than about 5 mm:
// the print-out keeps 12 mm, and never less than 10 mm whatever the printer
// dialog was given.
inline constexpr double kPrintMarginMm = 12;
inline constexpr double kMinimumPrintMarginMm = 10;

// The full print-out lists every load and unload; the short form one line per
// trip with its totals, and the sums at the end.
enum class PrintForm { Full, Summary };

// Lays the grid's visible columns out as a table: the trips in bold with their
// totals, their loads and unloads indented below; a header with the selection
// line and the two footers with the page number and the print date on every
// page. A trip starts a new page rather than be split, unless it is longer
// than a page. Returns the number of pages. Raises AppError when the printer
// cannot be painted on.
int printTripGrid(QPrinter &printer, const TripGrid &grid, const Settings &settings,
                  const QDateTime &printedAt, PrintForm form = PrintForm::Full);

// The same print-out into a PDF file (A4 landscape) with its text.
int printTripGridToPdf(const QString &fileName, const TripGrid &grid, const Settings &settings,
                       const QDateTime &printedAt, PrintForm form = PrintForm::Full);

// The Imprimir button: the print dialog with a preview of the print-out in
// the form chosen. A grid whose download failed is not printed: the error is
// shown instead. Errors end it with the message box of the print-out.
void CmdImprimir_Click(AppContext &ctx, const TripGrid &grid, PrintForm form, QWidget *parent);

// What the window says instead of printing a grid whose download failed.
QString printRefusalText(const TripGrid &grid, const QString &server);

} // namespace zelvano::gui
