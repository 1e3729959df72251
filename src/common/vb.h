#pragma once

#include <QString>
#include <QVariant>

#include <optional>

// Value conversions with the semantics the program relies on: the empty text
// for Null when a value is joined to a text, error 94 when a Null is converted
// directly, error 13 for a text that is not a number, error 6 for overflow.
// Numbers are read and written with "." as the decimal point whatever the
// desktop locale.
namespace zelvano::vb {

bool isNull(const QVariant &v); // invalid or null

// Value & "": Null gives "", numbers their plain decimal text, dates day-first.
QString joinText(const QVariant &v);
// CStr(value): as joinText, but Null raises error 94.
QString toText(const QVariant &v);
// CDbl: numbers, booleans (-1/0) and number texts; Null is error 94, other texts 13.
double toDouble(const QVariant &v);
// CLng: rounds halves to even, error 6 outside 32 bits.
qint32 toLong(const QVariant &v);
// CInt: rounds halves to even, error 6 outside 16 bits.
qint16 toInteger(const QVariant &v);
// CBool: numbers (non-zero is true), booleans, "true"/"false" texts (any case).
bool toBool(const QVariant &v);

// Val(text): optional blanks, sign, digits, "." and an exponent; reading stops
// at the first character that does not fit; 0 when there is no number. Blanks
// inside the digits are skipped, as Val does.
double val(const QString &text);

// A number as plain decimal text: no grouping, "." as decimal point, integers
// without a fractional part (1500, 1495.5, -3).
QString numberText(double value);

// Round halves to even (CLng, CInt and the "0" format of a whole number).
double roundHalfEven(double value);
// Round halves away from zero (the "#,##0" format).
double roundHalfAway(double value);

// Reads a whole text as a number with "." as decimal point (blanks around it
// allowed); false when it is not exactly a finite number ("NaN", "inf" and a
// text past the double's range are none).
bool parseNumber(const QString &text, double *out);

// The largest magnitude of a number the program stores: fifteen digits, which
// a double holds exactly, so that a sum of such numbers stays finite and
// prints as a plain decimal. "1e308" is a double, but no kilograms.
inline constexpr double kLargestNumber = 1e15;
// Finite and within kLargestNumber.
bool isStorableNumber(double value);

// A whole number in plain notation ("3", "03", "+3", "3.0", "3.", blanks
// around) within 32 bits; nothing for anything else ("3.5", "1e3", "3a").
// The download names operators by it and the save stores them by it, so the
// grid and the stored row agree.
std::optional<qint32> plainWholeNumber(const QString &text);

// Text received from the server keeps a byte that is not valid UTF-8 as the
// lone surrogate U+DC80 + byte (no valid text holds a lone surrogate).
// Whether a text holds any lone surrogate, and the text with each shown as
// "\xNN" (an escaped byte) or "\uXXXX".
bool hasInvalidText(const QString &text);
QString visibleText(const QString &text);

} // namespace zelvano::vb
