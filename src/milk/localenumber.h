#pragma once

#include <QChar>
#include <QStringView>

namespace zelvano {

// Reads a whole text as a number written under a desktop locale whose decimal
// mark is decimalMark ("." or ","); the other of the two is the locale's digit
// grouping mark, accepted between digits before the decimal mark and ignored.
// Blanks around the number, a sign and an exponent are allowed. False when the
// text is not a number (also when it is too large for a double). Never depends
// on the process's C locale.
bool readLocaleNumber(QStringView text, QChar decimalMark, double *out);

// The decimal mark the import converts with: "." when the locale's separator
// is ".", "," for any other value.
QChar importDecimalMark(const QString &localeDecimalSeparator);

} // namespace zelvano
