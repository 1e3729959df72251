#include "remote/remote.h"

#include "store/settings.h"

namespace zelvano {

namespace {

const QString kDatabase = QStringLiteral("qk_zr");
const QString kAccount = QStringLiteral("qk");
const QString kAccountPassword = QStringLiteral("qbk$4630");

} // namespace

RemoteOptions RemoteOptions::tripDownload()
{
    RemoteOptions options;
    options.proxy = Proxy::Direct;
    options.proxyUser = QStringLiteral("user54_brenmoormas");
    options.proxyPassword = QStringLiteral("tepsoran");
    options.limits.loginSeconds = 60;
    return options;
}

RemoteOptions RemoteOptions::synchronisation()
{
    return RemoteOptions();
}

bool isOdbcMode(const Settings &settings)
{
    return settings.RemoteMode == QLatin1String("ODBC");
}

QString sqlQuote(const QString &value)
{
    QString out;
    out.reserve(value.size() + 4);
    for (QChar c : value) {
        if (c == QLatin1Char('\'') || c == QLatin1Char('\\'))
            out += c;
        out += c;
    }
    return out;
}

QString odbcConnectionString(const QString &host)
{
    return QStringLiteral("Driver={MySQL ODBC 3.51 Driver};Server=") + host +
           QStringLiteral(";Port=3306;Database=") + kDatabase + QStringLiteral(";User=") + kAccount +
           QStringLiteral(";Password=") + kAccountPassword + QStringLiteral(";Option=3;");
}

QString webUrl(const QString &host)
{
    return QStringLiteral("http://") + host + QStringLiteral("/vremoto.php?");
}

QString authenticationSql(const Settings &settings)
{
    return QStringLiteral("select * from clientes where id = ") + sqlQuote(settings.ClientId) +
           QStringLiteral(" and password = '") + sqlQuote(settings.ClientPassword) +
           QStringLiteral("'");
}

} // namespace zelvano
