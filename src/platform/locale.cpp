#include "platform/locale.h"

#include <QLocale>

namespace zelvano {

QString Leer_Locale(int item)
{
    if (item == kLocaleDecimalSeparator)
        return QLocale::system().decimalPoint();
    return QString();
}

} // namespace zelvano
