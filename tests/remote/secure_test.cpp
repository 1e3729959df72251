// The WEB way over HTTPS, against the server script in its strict mode behind
// a TLS terminator of the test's own (the fault proxy with a certificate made
// by openssl at test time): what each kind of link lets through, and what the
// strict server runs.

#include "remote/remotetestsupport.h"
#include "support/securetestsupport.h"
#include "support/testsupport.h"
#include "sync/synctestsupport.h"

#include "download/download.h"
#include "remote/remote.h"
#include "remote/webrequest.h"
#include "trips/save.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace zelvano {
namespace {

using test::FaultProxy;
using test::RemotePeer;
using test::TestCertificates;
using test::TlsIdentity;

const ServerLogin kFarm12{QStringLiteral("12"), QStringLiteral("secreto")};

// Farm 12 has trips 801 and 802, each with a load and an unload; farm 13 has
// trip 901 and production record 9001.
void seedFarms()
{
    RemotePeer::execAll(RemotePeer::feedInserts(
        {QStringLiteral("(12, 801, 1, 3, 'Receta 3', '2024-02-01', 100, 900.00, 905.00, 1, '')"),
         QStringLiteral("(12, 802, 2, 3, 'Receta 3', '2024-02-02', 100, 900.00, 899.00, 1, '')"),
         QStringLiteral("(13, 901, 1, 3, 'Receta 3', '2024-02-01', 50, 400.00, 400.00, 1, '')")},
        {QStringLiteral("(801, 30, 'Maiz', 0, 900.00, 905.00, '06:10:00', '7', 'T1', 'M', '')"),
         QStringLiteral("(802, 30, 'Maiz', 0, 900.00, 899.00, '06:10:00', '7', 'T1', 'M', '')"),
         QStringLiteral("(901, 30, 'Maiz', 0, 400.00, 400.00, '06:10:00', '7', 'T1', 'M', '')")},
        {QStringLiteral("(801, 5, 'Corral 5', 50, 2, 1, 5, 900.00, 905.00, '07:10:00', '7', "
                        "'T1', 'M', ',', '')"),
         QStringLiteral("(802, 5, 'Corral 5', 50, 2, 1, 5, 900.00, 899.00, '07:10:00', '7', "
                        "'T1', 'M', ',', '')")}));
    RemotePeer::exec(QStringLiteral("insert into cabezas_produccion (cliente, id, fecha) values "
                                    "(13, 9001, '2024-02-01')"));
}

class SecureTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!RemotePeer::freshServer())
            return;
        seedFarms();
    }

    // "https://localhost:<port>" of a TLS terminator in front of the strict server.
    static QString secureHost(const FaultProxy &proxy)
    {
        return QStringLiteral("https://localhost:%1").arg(proxy.port());
    }

    test::ScopedEnv trust{"ZELVANO_CA_FILE", TestCertificates::get().caFile().toUtf8()};
    test::StrictServer strict;
};

// One download-and-save cycle of farm 12 over each kind of link. Only a link
// whose certificate verifies carries anything, and only over HTTPS do the
// farm's credentials go with it; any other link stores nothing and says why.
struct LinkCase
{
    const char *name;
    TlsIdentity (TestCertificates::*certificate)() const; // null: the link is plain HTTP
    const char *scheme;
    long error; // 0: the cycle succeeds
};

void PrintTo(const LinkCase &c, std::ostream *os)
{
    *os << c.name;
}

class SecureLinkTest : public SecureTest, public ::testing::WithParamInterface<LinkCase>
{
};

TEST_P(SecureLinkTest, OnlyAVerifiedLinkCarriesTheCycle)
{
    const LinkCase &c = GetParam();
    const TestCertificates &certificates = TestCertificates::get();
    FaultProxy proxy(strict.host(),
                     c.certificate ? (certificates.*c.certificate)() : TlsIdentity{});
    test::TestHome home;
    home.connect();
    Settings &s = home.ctx.settings;
    s.ClientId = kFarm12.user;
    s.ClientPassword = kFarm12.password;
    s.RemoteMode = QStringLiteral("WEB");
    s.ServerHost = QLatin1String(c.scheme) + QStringLiteral("localhost:%1").arg(proxy.port());

    const DownloadOutcome downloaded = CmdDescargar_Click(home.ctx);
    const SaveOutcome saved = CmdGrabar_Click(home.ctx);
    const auto requests = proxy.log();
    const QString basic =
        QStringLiteral("Basic ") + QString::fromLatin1(QByteArray("12:secreto").toBase64());
    for (const test::ProxiedRequest &r : requests)
        EXPECT_EQ(r.headers.value(QStringLiteral("Authorization")),
                  c.certificate ? basic : QString())
            << r.sql.toStdString();

    if (c.error == 0) {
        EXPECT_TRUE(downloaded.ok()) << downloaded.errorText().toStdString();
        EXPECT_TRUE(saved.ok()) << saved.errorText().toStdString();
        EXPECT_EQ(test::storedTrips(home.databasePath()).size(), 2u);
        // The date range's statement too.
        home.ctx.newTripsOnly = false;
        home.ctx.DTdesde = QDate(2024, 2, 1);
        home.ctx.DThasta = QDate(2024, 2, 2);
        const DownloadOutcome range = CmdDescargar_Click(home.ctx);
        EXPECT_EQ(range.errorText(), QString());
        EXPECT_EQ(range.alreadyStored, 2);
        return;
    }
    ASSERT_FALSE(downloaded.ok());
    EXPECT_EQ(downloaded.error()->number(), c.error) << downloaded.errorText().toStdString();
    EXPECT_TRUE(test::storedTrips(home.databasePath()).empty());
    if (c.error == ErrNo::HttpCertificateRefused) {
        EXPECT_TRUE(downloaded.errorText().contains(QStringLiteral("certificado")))
            << downloaded.errorText().toStdString();
        EXPECT_TRUE(test::eventTexts(home).join(u'\n').contains(QStringLiteral("certificado")));
    }
    // A refused certificate or a failed handshake: no statement reached the
    // server, in clear or otherwise.
    if (c.certificate != &TestCertificates::trusted && QLatin1String(c.scheme) == "https://")
        EXPECT_TRUE(requests.empty()) << requests.front().sql.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Links, SecureLinkTest,
    ::testing::Values(
        LinkCase{"Trusted", &TestCertificates::trusted, "https://", 0},
        LinkCase{"UntrustedAuthority", &TestCertificates::untrusted, "https://",
                 ErrNo::HttpCertificateRefused},
        LinkCase{"OtherHostName", &TestCertificates::otherHost, "https://",
                 ErrNo::HttpCertificateRefused},
        LinkCase{"HttpsToAPlainPort", nullptr, "https://", ErrNo::HttpSecureChannelError},
        // Plain HTTP carries no credentials, so the strict server refuses it.
        LinkCase{"PlainHttpToTheStrictServer", nullptr, "http://", ErrNo::ProviderFailure}),
    [](const auto &info) { return std::string(info.param.name); });

// Statements sent straight to the strict server: its refusals.
struct StrictCase
{
    const char *name;
    const char *sql;
    ServerLogin login;
    long status;
};

void PrintTo(const StrictCase &c, std::ostream *os)
{
    *os << c.name;
}

class StrictServerTest : public SecureTest, public ::testing::WithParamInterface<StrictCase>
{
};

TEST_P(StrictServerTest, RunsOnlyTheProgramsStatementsForTheFarmThatLoggedIn)
{
    const StrictCase &c = GetParam();
    FaultProxy proxy(strict.host(), TestCertificates::get().trusted());
    WebRequest web;
    web.open(webUrl(secureHost(proxy)), c.login);
    const WebAnswer answer = web.send(QString::fromUtf8(c.sql));
    EXPECT_EQ(answer.status, c.status) << answer.text.toStdString();
    if (c.status != 200)
        EXPECT_FALSE(answer.text.contains(u'{')) << answer.text.toStdString();
    EXPECT_EQ(RemotePeer::scalar(QStringLiteral("select count(*) from clientes")).toInt(), 1);
}

// An upload of thousands of readings is one statement.
const std::string kManyRecords = [] {
    std::string sql = "INSERT INTO cabezas_produccion (cliente, fecha, usuario, turno, "
                      "total_cabezas, total_litros, id_prg) values ";
    for (int i = 0; i < 5000; ++i)
        sql += std::string(i ? "," : "") + "('12','2024-03-01','Pérez','MAÑANA','10','100','1')";
    return sql;
}();
const ServerLogin kWrongPassword{QStringLiteral("12"), QStringLiteral("SECRETO")};
const ServerLogin kUnknownFarm{QStringLiteral("99"), QStringLiteral("secreto")};

INSTANTIATE_TEST_SUITE_P(
    Statements, StrictServerTest,
    ::testing::Values(
        StrictCase{"OwnLoads",
                   "select * from lectura_carga_feed where id_viaje = 801 order by hora", kFarm12,
                   200},
        StrictCase{"OwnTripsAnySpacing",
                   "select * from lectura_viajes_feed where cliente = 12 and  id_viaje > 0  "
                   "order by id_viaje",
                   kFarm12, 200},
        StrictCase{"ManyRecordsInOneInsert", kManyRecords.c_str(), kFarm12, 200},
        StrictCase{"AnotherFarmsTrips",
                   "select * from lectura_viajes_feed where cliente = 13 and  id_viaje > 0  "
                   "order by id_viaje",
                   kFarm12, 403},
        StrictCase{"AnotherFarmsLoads",
                   "select * from lectura_carga_feed where id_viaje = 901 order by hora", kFarm12,
                   403},
        StrictCase{"AnotherFarmsRecordDetails",
                   "select * from detalle_cabezas_produccion where id = 9001", kFarm12, 403},
        StrictCase{"AnotherFarmsRecordDeleted",
                   "DELETE FROM cabezas_produccion where cliente = 13 and id = 9001", kFarm12, 403},
        StrictCase{"AnyOtherStatement", "delete from clientes", kFarm12, 403},
        StrictCase{"AStatementAppended",
                   "select * from lectura_carga_feed where id_viaje = 801 order by hora; "
                   "delete from clientes",
                   kFarm12, 403},
        StrictCase{"AQuoteBrokenOut",
                   "select * from clientes where id = 12 and password = 'x' or '1'='1'", kFarm12,
                   403},
        StrictCase{"ABackslashEscapingAQuote",
                   "select * from clientes where id = 12 and password = 'x\\' or 1=1 -- '", kFarm12,
                   403},
        StrictCase{"WrongPassword", "select * from clientes where id = 12 and password = 'secreto'",
                   kWrongPassword, 401},
        StrictCase{"UnknownFarm", "select * from clientes where id = 12 and password = 'secreto'",
                   kUnknownFarm, 401},
        StrictCase{"NoCredentials", "select * from clientes where id = 12 and password = 'secreto'",
                   ServerLogin{}, 401}),
    [](const auto &info) { return std::string(info.param.name); });

// Every statement of a synchronisation with something of every kind to move
// (additions, a change, a deletion, another site's records coming down)
// passes the strict server, over HTTPS, and the result is the known one.
TEST_F(SecureTest, TheSynchronisationRunsWhollyThroughTheStrictServer)
{
    FaultProxy proxy(strict.host(), TestCertificates::get().trusted());
    test::RemoteFarm farm(test::clientIdForCurrentTest());
    test::Site site(farm, QStringLiteral("WEB"));
    site.useHost(secureHost(proxy));
    test::Scenario scenario(farm, site);
    EXPECT_EQ(scenario.convergeInProcess(1), 1) << site.events().join(u'\n').toStdString();
    scenario.expectConverged();
    const auto requests = proxy.log();
    EXPECT_GT(requests.size(), 10u);
    for (const test::ProxiedRequest &r : requests)
        EXPECT_EQ(r.status, 200) << r.sql.toStdString();
}

} // namespace
} // namespace zelvano
