#include "store/settings.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

using namespace zelvano;
using zelvano::test::TestHome;

namespace {

// Sets columns of the company row by position.
void setColumns(TestHome &home, const std::vector<std::pair<int, QString>> &values)
{
    LocalConnection &db = home.ctx.db();
    Recordset rs = db.openRecordset("select * from mi_empresa", true);
    for (const auto &[position, value] : values)
        rs.setValue(position, value == "<null>" ? QVariant() : QVariant(value));
    rs.update();
}

} // namespace

TEST(Settings, LoadsTheColumnsByPosition)
{
    TestHome home;
    home.connect();
    setColumns(home, {{0, "La Esperanza"}, {2, "Rafaela"}, {3, "03492"}, {20, "12"},
                      {21, "server.example"}, {22, "s3cret"}, {23, "ODBC"}, {24, "-1"},
                      {25, "15 min"}, {29, "true"}, {30, "/exports"}, {31, "ordene"},
                      {32, "7:30"}, {33, "delpro"}, {34, ";"}, {35, "."}, {43, "1"}, {44, "0"}});
    Inicializar_Usuarios(home.ctx);
    const Settings &s = home.ctx.settings;
    EXPECT_EQ(s.CompanyField0.toString(), "La Esperanza");
    EXPECT_EQ(s.CompanyField2, "Rafaela");
    EXPECT_EQ(s.ClientId, "12");
    EXPECT_EQ(s.ServerHost, "server.example");
    EXPECT_EQ(s.ClientPassword, "s3cret");
    EXPECT_EQ(s.RemoteMode, "ODBC");
    EXPECT_TRUE(s.UseDownloadInterval);
    EXPECT_EQ(s.DownloadEveryMinutes, 15.0);
    EXPECT_TRUE(s.CsvImportEnabled);
    EXPECT_EQ(s.ImportFolder, "/exports");
    EXPECT_EQ(s.ImportFileName, "ordene");
    EXPECT_EQ(s.ImportTime, "7:30");
    EXPECT_EQ(s.ImportSoftware, "delpro");
    EXPECT_EQ(s.CsvSplitMark, ";");
    EXPECT_EQ(s.CsvDecimalSeparator, ".");
    EXPECT_TRUE(s.HeadCountFromFeeding);
    EXPECT_FALSE(s.HeadCountFromMilk);
}

TEST(Settings, Conversions)
{
    TestHome home;
    home.connect();
    for (const char *mode : {"odbc", "WEB", "Odbc", "<null>"}) {
        setColumns(home, {{23, mode}});
        Inicializar_Usuarios(home.ctx);
        EXPECT_EQ(home.ctx.settings.RemoteMode, "WEB") << mode;
    }
    setColumns(home, {{24, "true"}, {25, "2.5"}});
    Inicializar_Usuarios(home.ctx);
    EXPECT_EQ(home.ctx.settings.DownloadEveryMinutes, 2.5);
    setColumns(home, {{25, "cada tanto"}});
    Inicializar_Usuarios(home.ctx);
    EXPECT_EQ(home.ctx.settings.DownloadEveryMinutes, 0.0);
    setColumns(home, {{24, "false"}, {25, "10"}});
    Inicializar_Usuarios(home.ctx);
    EXPECT_FALSE(home.ctx.settings.UseDownloadInterval);
    EXPECT_EQ(home.ctx.settings.DownloadEveryMinutes, 0.0);

    // Import off: the import values are empty, the CSV marks still load.
    setColumns(home, {{29, "0"}, {30, "/exports"}, {31, "x"}, {32, "08:00"}, {33, "dairy"},
                      {34, ","}, {35, ","}});
    Inicializar_Usuarios(home.ctx);
    EXPECT_TRUE(home.ctx.settings.ImportFolder.isEmpty());
    EXPECT_TRUE(home.ctx.settings.ImportTime.isEmpty());
    EXPECT_TRUE(home.ctx.settings.ImportSoftware.isEmpty());
    EXPECT_EQ(home.ctx.settings.CsvSplitMark, ",");
    EXPECT_EQ(home.ctx.settings.CsvDecimalSeparator, ",");
}

TEST(Settings, IntervalIsTheLeadingNumberOfItsText)
{
    TestHome home;
    home.connect();
    const std::vector<std::pair<QString, double>> cases = {
        {"15 min", 15}, {"1 5", 1}, {"2e1", 2},    {"2.5", 2.5}, {"2.5.1", 2.5}, {" 7", 7},
        {"\t3x", 3},    {"-4", -4}, {"+6", 6},     {".5", 0.5},  {"5.", 5},      {"10,5", 10},
        {"", 0},        {"- 3", 0}, {"min 15", 0}, {"0x1A", 0},  {"1d2", 1},     {"0012", 12}};
    for (const auto &[text, expected] : cases) {
        setColumns(home, {{24, "true"}, {25, text}});
        Inicializar_Usuarios(home.ctx);
        EXPECT_EQ(home.ctx.settings.DownloadEveryMinutes, expected) << text.toStdString();
    }
}

TEST(Settings, NullsCountAsEmptyAndTheLoadGoesOn)
{
    TestHome home;
    home.connect();
    setColumns(home, {{2, "<null>"}, {3, "<null>"}, {20, "44"}, {21, "<null>"}, {24, "<null>"},
                      {29, "<null>"}, {34, "<null>"}, {35, "<null>"}, {43, "<null>"}, {44, "1"}});
    home.ctx.settings.ServerHost = "stale";
    Inicializar_Usuarios(home.ctx);
    const Settings &s = home.ctx.settings;
    EXPECT_EQ(s.CompanyField2, "");
    EXPECT_EQ(s.ClientId, "44");
    EXPECT_EQ(s.ServerHost, "");
    EXPECT_FALSE(s.UseDownloadInterval);
    EXPECT_FALSE(s.CsvImportEnabled);
    EXPECT_EQ(s.CsvSplitMark, "");
    EXPECT_TRUE(s.HeadCountFromMilk);
    EXPECT_TRUE(test::eventTexts(home).isEmpty());
}

TEST(Settings, AnUnreadableValueKeepsWhatWasLoadedAndIsLogged)
{
    TestHome home;
    home.connect();
    setColumns(home, {{20, "7"}, {43, "1"}});
    home.ctx.db().execute("update mi_empresa set usa_intervalo = 'tal vez'");
    home.ctx.settings.HeadCountFromFeeding = false;
    Inicializar_Usuarios(home.ctx);
    EXPECT_EQ(home.ctx.settings.ClientId, "7");
    EXPECT_FALSE(home.ctx.settings.HeadCountFromFeeding); // the load stopped before it
    const QStringList events = test::eventTexts(home);
    ASSERT_EQ(events.size(), 1);
    EXPECT_TRUE(events[0].startsWith("Error 13 (Type mismatch) en procedimiento Inicializar_Usuarios"));
}

TEST(Settings, AnEmptyTableOrNoConnectionLeavesTheRecord)
{
    TestHome home;
    home.ctx.settings.ClientId = "kept";
    Inicializar_Usuarios(home.ctx); // not connected
    EXPECT_EQ(home.ctx.settings.ClientId, "kept");
    home.connect();
    home.ctx.settings.ClientId = "kept";
    home.ctx.db().execute("delete from mi_empresa");
    Inicializar_Usuarios(home.ctx);
    EXPECT_EQ(home.ctx.settings.ClientId, "kept");
}
