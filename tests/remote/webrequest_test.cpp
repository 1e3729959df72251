#include "remote/remotetestsupport.h"

#include "remote/odbc.h"
#include "remote/remote.h"
#include "remote/webrequest.h"
#include "store/settings.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

namespace zelvano {
namespace {

TEST(RemoteTexts, QuotingConnectionStringUrlAndLogin)
{
    EXPECT_EQ(sqlQuote(QStringLiteral("O'Brien \\ x")), QStringLiteral("O''Brien \\\\ x"));
    EXPECT_EQ(sqlQuote(QString()), QString());
    EXPECT_EQ(odbcConnectionString(QStringLiteral("10.0.0.5")),
              QStringLiteral("Driver={MySQL ODBC 3.51 Driver};Server=10.0.0.5;Port=3306;"
                             "Database=qk_zr;User=qk;Password=qbk$4630;Option=3;"));
    EXPECT_EQ(webUrl(QStringLiteral("srv.example:8080")),
              QStringLiteral("http://srv.example:8080/vremoto.php?"));

    Settings s;
    s.ClientId = QStringLiteral("12");
    s.ClientPassword = QStringLiteral("pa'ss\\");
    EXPECT_EQ(authenticationSql(s),
              QStringLiteral("select * from clientes where id = 12 and password = 'pa''ss\\\\'"));

    s.RemoteMode = QStringLiteral("ODBC");
    EXPECT_TRUE(isOdbcMode(s));
    for (const char *other : {"odbc", "", "WEB", "ODBC "}) {
        s.RemoteMode = QString::fromLatin1(other);
        EXPECT_FALSE(isOdbcMode(s)) << other;
    }
}

// The way comes from RemoteMode and the scheme of ServerHost, in one place;
// a scheme the way cannot honour sends nothing.
TEST(RemoteSettings, TheWayAndTheAddressFollowModeAndScheme)
{
    struct Case
    {
        const char *mode;
        const char *host;
        RemoteWay way;
        const char *url; // nullptr: refused before anything is sent
    };
    for (const Case &c : {
             Case{"WEB", "srv.example", RemoteWay::Http, "http://srv.example/vremoto.php?"},
             Case{"WEB", "http://srv.example:81", RemoteWay::Http,
                  "http://srv.example:81/vremoto.php?"},
             Case{"WEB", "https://srv.example", RemoteWay::Https,
                  "https://srv.example/vremoto.php?"},
             Case{"", "HTTPS://srv.example:8443", RemoteWay::Https,
                  "https://srv.example:8443/vremoto.php?"},
             Case{"ODBC", "srv.example", RemoteWay::Odbc, "http://srv.example/vremoto.php?"},
             Case{"ODBC", "https://srv.example", RemoteWay::Odbc, nullptr},
             Case{"WEB", "ftp://srv.example", RemoteWay::Http, nullptr},
             Case{"WEB", "https://", RemoteWay::Https, nullptr},
             Case{"WEB", "https://srv.example/x", RemoteWay::Https, nullptr},
         }) {
        Settings s;
        s.ClientId = QStringLiteral("12");
        s.RemoteMode = QString::fromLatin1(c.mode);
        s.ServerHost = QString::fromLatin1(c.host);
        EXPECT_EQ(remoteWay(s), c.way) << c.host;
        const std::optional<AppError> refusal = remoteSettingsRefusal(s);
        EXPECT_EQ(refusal.has_value(), c.url == nullptr) << c.mode << " " << c.host;
        if (c.url)
            EXPECT_EQ(webUrl(s.ServerHost), QString::fromLatin1(c.url));
        else if (refusal)
            EXPECT_EQ(refusal->number(), ErrNo::InvalidCall) << c.host;
    }
}

TEST(RemoteSettings, IdsAndHostsThatCouldBendAStatementAreRefused)
{
    Settings s;
    EXPECT_EQ(remoteSettingsRefusal(s)->number(), ErrNo::HttpNameNotResolved) << "no server set up";
    s.ServerHost = QStringLiteral("srv.example:8080");
    for (const char *id : {"12", " 12 ", "007", "-3", "929"}) {
        s.ClientId = QString::fromLatin1(id);
        EXPECT_FALSE(remoteSettingsRefusal(s)) << id;
    }
    s.ClientId = QStringLiteral(" 12\t");
    EXPECT_EQ(clientIdText(s), QStringLiteral("12"));
    EXPECT_EQ(authenticationSql(s),
              QStringLiteral("select * from clientes where id = 12 and password = ''"));
    for (const char *id : {"929 -- ", "929 or 1=1", "9 29", "abc", "", "12.0", "1e3", "12;", "+-1",
                           "1234567890123456789"}) {
        s.ClientId = QString::fromLatin1(id);
        const std::optional<AppError> refusal = remoteSettingsRefusal(s);
        ASSERT_TRUE(refusal) << id;
        EXPECT_EQ(refusal->number(), ErrNo::InvalidCall);
        EXPECT_EQ(refusal->description(),
                  QStringLiteral("El id de cliente remoto '%1' no es un número entero: no se envía "
                                 "nada al servidor")
                      .arg(QString::fromLatin1(id)));
        EXPECT_THROW(checkRemoteSettings(s), AppError) << id;
    }

    s.ClientId = QStringLiteral("12");
    for (const char *host : {"127.0.0.1", "127.0.0.1:8080", "srv-1.example.com", "servidor_remoto",
                             "[::1]", "[fe80::1]:8080", "campo.ñandú.ar"}) {
        s.ServerHost = QString::fromUtf8(host);
        EXPECT_FALSE(remoteSettingsRefusal(s)) << host;
    }
    s.ServerHost = QStringLiteral(" ");
    ASSERT_TRUE(remoteSettingsRefusal(s));
    EXPECT_EQ(remoteSettingsRefusal(s)->number(), ErrNo::HttpNameNotResolved);
    for (const char *host : {"srv;Option=0", "srv;Database=otra", "srv/x", "srv:8080/x", "srv x",
                             " srv", "srv:", "srv:99999", "srv:80:81", "user@srv", "srv?a=1",
                             "srv#x", "srv{", "[::1", "[zz]", "srv\\x", "srv%20"}) {
        s.ServerHost = QString::fromUtf8(host);
        const std::optional<AppError> refusal = remoteSettingsRefusal(s);
        ASSERT_TRUE(refusal) << host;
        EXPECT_TRUE(refusal->description().startsWith(QStringLiteral("El servidor remoto '") +
                                                      s.ServerHost + QStringLiteral("' no es")))
            << refusal->description().toStdString();
    }
}

TEST(WebRequestFailures, SilentServerTimesOutWithinTheConfiguredTime)
{
    test::SilentServer silent;
    RemoteOptions options = RemoteOptions::tripDownload();
    options.limits.receiveMs = 400;
    WebRequest web(options);
    web.open(webUrl(QStringLiteral("127.0.0.1:%1").arg(silent.port())));
    QElapsedTimer timer;
    timer.start();
    try {
        web.send(QStringLiteral("select 1"));
        FAIL() << "no error";
    } catch (const AppError &e) {
        EXPECT_EQ(e.number(), ErrNo::HttpTimeout);
        EXPECT_EQ(e.number(), long(0x80072EE2 - 0x100000000LL));
    }
    EXPECT_GE(timer.elapsed(), 400);
    EXPECT_LT(timer.elapsed(), 1500);
}

TEST(WebRequestFailures, RefusedAndUnresolvedHosts)
{
    RemoteOptions options;
    options.proxy = RemoteOptions::Proxy::Direct;
    options.limits.connectMs = 3000;
    {
        WebRequest web(options);
        web.open(webUrl(QStringLiteral("127.0.0.1:%1").arg(test::closedPort())));
        try {
            web.send(QStringLiteral("select 1"));
            FAIL() << "no error";
        } catch (const AppError &e) {
            EXPECT_EQ(e.number(), ErrNo::HttpCannotConnect) << e.what();
        }
    }
    {
        WebRequest web(options);
        web.open(webUrl(QStringLiteral("no-such-host.invalid")));
        try {
            web.send(QStringLiteral("select 1"));
            FAIL() << "no error";
        } catch (const AppError &e) {
            EXPECT_EQ(e.number(), ErrNo::HttpNameNotResolved) << e.what();
        }
    }
    WebRequest unopened;
    EXPECT_THROW(unopened.send(QStringLiteral("select 1")), AppError);
}

} // namespace
} // namespace zelvano
