#include "remote/remote.h"

#include "store/settings.h"

namespace zelvano {

namespace {

const QString kDatabase = QStringLiteral("qk_zr");
const QString kAccount = QStringLiteral("qk");
const QString kAccountPassword = QStringLiteral("qbk$4630");

// An optional minus and up to 18 digits: a number in any statement, and
// nothing else.
bool isPlainWholeNumber(const QString &text)
{
    qsizetype i = text.startsWith(u'-') ? 1 : 0;
    if (text.size() == i || text.size() - i > 18)
        return false;
    for (; i < text.size(); ++i)
        if (text[i] < u'0' || text[i] > u'9')
            return false;
    return true;
}

bool isHostCharacter(QChar c)
{
    return c.isLetterOrNumber() || c == u'.' || c == u'-' || c == u'_';
}

// A host name or IPv4 address, or an IPv6 address between brackets, with an
// optional ":port". Anything else (";", "/", "?", "@", "{", blanks, ...)
// would change the URL or the connection string it is pasted into.
bool isPlainHost(const QString &host)
{
    qsizetype end = 0;
    if (host.startsWith(u'[')) {
        end = host.indexOf(u']');
        if (end < 2)
            return false;
        for (qsizetype i = 1; i < end; ++i) {
            const QChar c = host[i];
            if (!(c.isDigit() || c == u':' || c == u'.' ||
                  (c.toLower() >= u'a' && c.toLower() <= u'f')))
                return false;
        }
        ++end;
    } else {
        while (end < host.size() && isHostCharacter(host[end]))
            ++end;
        if (end == 0)
            return false;
    }
    if (end == host.size())
        return true;
    if (host[end] != u':')
        return false;
    const QString port = host.mid(end + 1);
    if (port.isEmpty() || port.size() > 5)
        return false;
    for (QChar c : port)
        if (c < u'0' || c > u'9')
            return false;
    return port.toInt() <= 65535;
}

// The scheme of a ServerHost text, lower case, and where its host begins;
// none when it has no "://".
struct Scheme
{
    QString name;
    qsizetype hostStart = 0;
};

Scheme schemeOf(const QString &serverHost)
{
    const qsizetype mark = serverHost.indexOf(QLatin1String("://"));
    if (mark < 0)
        return {};
    return {serverHost.left(mark).toLower(), mark + 3};
}

} // namespace

RemoteOptions RemoteOptions::tripDownload()
{
    RemoteOptions options;
    options.proxy = Proxy::Direct;
    options.proxyUser = QStringLiteral("user54_brenmoormas");
    options.proxyPassword = QStringLiteral("tepsoran");
    options.limits.loginSeconds = 60;
    options.connections = downloadConnections();
    return options;
}

int downloadConnections()
{
    constexpr int kDefault = 8;
    const QByteArray text = qgetenv("ZELVANO_DOWNLOAD_CONNECTIONS").trimmed();
    if (text.isEmpty())
        return kDefault;
    bool ok = false;
    const int n = text.toInt(&ok);
    return ok && n >= 1 && n <= 64 ? n : kDefault;
}

RemoteOptions RemoteOptions::synchronisation()
{
    return RemoteOptions();
}

RemoteWay remoteWay(const Settings &settings)
{
    if (settings.RemoteMode == QLatin1String("ODBC"))
        return RemoteWay::Odbc;
    return schemeOf(settings.ServerHost).name == QLatin1String("https") ? RemoteWay::Https
                                                                        : RemoteWay::Http;
}

bool isOdbcMode(const Settings &settings)
{
    return remoteWay(settings) == RemoteWay::Odbc;
}

QString serverAddress(const QString &serverHost)
{
    return serverHost.mid(schemeOf(serverHost).hostStart);
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
    const QString scheme = schemeOf(host).name == QLatin1String("https")
                               ? QStringLiteral("https://")
                               : QStringLiteral("http://");
    return scheme + serverAddress(host) + QStringLiteral("/vremoto.php?");
}

QString authenticationSql(const Settings &settings)
{
    return QStringLiteral("select * from clientes where id = ") + sqlQuote(clientIdText(settings)) +
           QStringLiteral(" and password = '") + sqlQuote(settings.ClientPassword) +
           QStringLiteral("'");
}

std::optional<AppError> remoteSettingsRefusal(const Settings &settings)
{
    // No server named at all (a farm not set up yet) bends nothing: there is
    // simply nowhere to connect, as with a name that does not resolve.
    if (settings.ServerHost.trimmed().isEmpty())
        return AppError(ErrNo::HttpNameNotResolved,
                        QStringLiteral("The server name or address could not be resolved"));
    if (!isPlainWholeNumber(settings.ClientId.trimmed()))
        return AppError(ErrNo::InvalidCall,
                        QStringLiteral("El id de cliente remoto '%1' no es un número entero: "
                                       "no se envía nada al servidor")
                            .arg(settings.ClientId));
    const Scheme scheme = schemeOf(settings.ServerHost);
    if (!scheme.name.isEmpty() && (isOdbcMode(settings) || (scheme.name != QLatin1String("http") &&
                                                            scheme.name != QLatin1String("https"))))
        return AppError(ErrNo::InvalidCall,
                        QStringLiteral("El servidor remoto '%1' lleva un esquema que el modo %2 no "
                                       "admite (solo http:// o https:// en el modo WEB): no se "
                                       "envía nada al servidor")
                            .arg(settings.ServerHost, isOdbcMode(settings)
                                                          ? QStringLiteral("ODBC")
                                                          : QStringLiteral("WEB")));
    if (!isPlainHost(serverAddress(settings.ServerHost)))
        return AppError(ErrNo::InvalidCall,
                        QStringLiteral("El servidor remoto '%1' no es un nombre de servidor con "
                                       "un puerto opcional: no se envía nada al servidor")
                            .arg(settings.ServerHost));
    return std::nullopt;
}

void checkRemoteSettings(const Settings &settings)
{
    if (const std::optional<AppError> refusal = remoteSettingsRefusal(settings))
        throw *refusal;
}

QString clientIdText(const Settings &settings)
{
    return settings.ClientId.trimmed();
}

} // namespace zelvano
