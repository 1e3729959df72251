#pragma once

#include <QString>

class QPrinter;
class QWidget;

namespace zelvano {
struct AppContext;
struct Settings;
class TripGrid;
} // namespace zelvano

namespace zelvano::gui {

QString printHeaderText();  // "Listado de Sucesos"
QString printBrandFooter(); // "Brenmoor Más - Gestión de Alimentos"
// The four company fields joined by " - ", a Null field as nothing.
QString printCompanyFooter(const Settings &settings);

// Lays the grid's visible columns out as a table: trips with their loads and
// unloads indented below, a page header and the two footers on every page, as
// many pages as the rows need; a row is never split over two pages. Returns
// the number of pages. Raises AppError when the printer cannot be painted on.
int printTripGrid(QPrinter &printer, const TripGrid &grid, const Settings &settings);

// The same print-out into a PDF file with its text.
int printTripGridToPdf(const QString &fileName, const TripGrid &grid, const Settings &settings);

// The Imprimir button: the print dialog with a preview of the print-out.
// Errors end it with the message box of the print-out.
void CmdImprimir_Click(AppContext &ctx, QWidget *parent);

} // namespace zelvano::gui
