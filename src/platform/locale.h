#pragma once

#include <QString>

namespace zelvano {

// The desktop's regional settings, as far as the program reads them.
// Item 14 is the decimal separator (the only item the program asks for).
inline constexpr int kLocaleDecimalSeparator = 14;

// The user's value of a locale item; "" for an item this platform cannot tell.
QString Leer_Locale(int item);

} // namespace zelvano
