#pragma once

#include <QLocale>

class QTranslator;

namespace zelvano::gui {

// Qt's own texts (the standard buttons of message boxes, the print dialog)
// in the desktop's language, from the translations installed with Qt. The
// program's own texts stay as they are. Returns the translator it installed
// on the application (which owns it), or nullptr when Qt has none for the
// locale's languages.
QTranslator *installQtTranslations(const QLocale &locale = QLocale::system());

} // namespace zelvano::gui
