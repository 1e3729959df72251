#include "json/jsonscript.h"

#include "common/error.h"
#include "printers.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <clocale>
#include <cstring>

using namespace zelvano;
using namespace zelvano::json;

namespace {
struct Script
{
    RecordingNotices notices;
    cJSONScript script{notices};
    QString eval(const char *json) { return script.Eval(QString::fromUtf8(json)); }
};

QString nested(int arrays)
{
    return QStringLiteral("[") + QString(arrays, u'[') + QStringLiteral("\"x\"") +
           QString(arrays, u']') + QStringLiteral("]");
}
} // namespace

TEST(JsonScript, TextsNullsAndPlaceholders)
{
    Script s;
    EXPECT_EQ(s.eval(R"(["a","b"])"), QStringLiteral("ab"));
    EXPECT_EQ(s.eval(R"([null, "-", true, 3])"), QStringLiteral("null-true3"));
    EXPECT_EQ(s.eval(R"([{"greet":"world"}])"), QStringLiteral("<%GREET(world)%>"));
    EXPECT_EQ(s.eval(R"([{"Fmt":{"a":"x","b":2.50,"c":true}}])"), QStringLiteral("<%FMT(x,2.5,True)%>"));
    // A script that is an object has no numbered elements.
    EXPECT_EQ(s.eval(R"({"greet":"world"})"), QString());
    EXPECT_TRUE(s.notices.notices().empty());
}

TEST(JsonScript, VariablesLiveAcrossEvals)
{
    Script s;
    EXPECT_EQ(s.eval(R"([{"set":{"name":"n","value":5}}, "n=", {"get":{"name":"n"}}])"),
              QStringLiteral("n=5"));
    EXPECT_EQ(s.eval(R"([{"get":{"name":"n","default":"none"}}])"), QStringLiteral("5"));
    EXPECT_EQ(s.eval(R"([{"get":{"name":"other","default":"none"}}])"), QStringLiteral("none"));
    // Overwritten, and a variable set to the empty text falls back to the default.
    EXPECT_EQ(s.eval(R"([{"set":{"name":"n","value":"six"}},{"get":{"name":"n"}}])"),
              QStringLiteral("six"));
    EXPECT_EQ(s.eval(R"([{"set":{"name":"n","value":""}},{"get":{"name":"n","default":"d"}}])"),
              QStringLiteral("d"));
}

TEST(JsonScript, IfComparesTexts)
{
    Script s;
    const auto ifOf = [&](const char *type, const char *v1, const char *v2) {
        return s.script.Eval(QStringLiteral(R"([{"if":{"type":"%1","value1":"%2","value2":"%3",)"
                                            R"("true":"T","false":"F"}}])")
                                 .arg(QLatin1String(type), QLatin1String(v1), QLatin1String(v2)));
    };
    EXPECT_EQ(ifOf("eq", "Yes", "yes"), QStringLiteral("T"));
    EXPECT_EQ(ifOf("EQ", "Yes", "no"), QStringLiteral("F"));
    EXPECT_EQ(ifOf("gt", "b", "a"), QStringLiteral("T"));
    EXPECT_EQ(ifOf("gt", "a", "b"), QStringLiteral("F"));
    // Code-unit order: capitals sort before small letters, "10" before "9".
    EXPECT_EQ(ifOf("gt", "a", "Z"), QStringLiteral("T"));
    EXPECT_EQ(ifOf("lt", "10", "9"), QStringLiteral("T"));
    EXPECT_EQ(ifOf("gte", "a", "a"), QStringLiteral("T"));
    EXPECT_EQ(ifOf("lte", "b", "a"), QStringLiteral("F"));
    EXPECT_EQ(ifOf("ne", "a", "b"), QStringLiteral("F"));
}

TEST(JsonScript, SwitchAndReturn)
{
    Script s;
    const char *script = R"([{"switch":{"default":"other","case":"B","items":[
        {"case":"a","return":"first"},{"case":"b","return":{"return":"second"}},
        {"case":"b","return":"third"}]}}])";
    EXPECT_EQ(s.eval(script), QStringLiteral("second"));
    EXPECT_EQ(s.eval(R"([{"switch":{"default":"other","case":"z","items":[{"case":"a","return":1}]}}])"),
              QStringLiteral("other"));
    // "return" gives its value without evaluating it.
    EXPECT_EQ(s.eval(R"([{"return":"{\"get\":1}"}])"), QStringLiteral("{\"get\":1}"));
}

TEST(JsonScript, AlertAndInputGoThroughTheNotices)
{
    Script s;
    s.notices.inputAnswers << QStringLiteral("Ana");
    EXPECT_EQ(s.eval(R"([{"alert":{"message":"Hola","title":"T"}},
        "Hi ", {"input":{"prompt":"Name?","title":"Who","default":"nobody"}},
        " / ", {"input":{"prompt":"Again?","title":"Who","default":"nobody"}}])"),
              QStringLiteral("Hi Ana / nobody"));
    const auto &n = s.notices.notices();
    ASSERT_EQ(n.size(), 3u);
    EXPECT_EQ(n[0].kind, QStringLiteral("message"));
    EXPECT_EQ(n[0].text, QStringLiteral("Hola"));
    EXPECT_EQ(n[0].title, QStringLiteral("T"));
    EXPECT_EQ(n[0].icon, UserNotices::Icon::Information);
    EXPECT_EQ(n[1].kind, QStringLiteral("input"));
    EXPECT_EQ(n[1].text, QStringLiteral("Name?"));
}

TEST(JsonScript, NumbersWithPointUnderACommaLocale)
{
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    // Where the locale is installed, the C library's own number reading uses a comma.
    if (std::setlocale(LC_NUMERIC, "es_AR.UTF-8"))
        EXPECT_STREQ(std::localeconv()->decimal_point, ",");
    QLocale::setDefault(QLocale(QLocale::German));
    Script s;
    const QString out = s.eval("[[2.5, \" \", -0.125, \" \", 12.50]]");
    std::setlocale(LC_ALL, saved.c_str());
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(out, QStringLiteral("2.5 -0.125 12.5"));
}

TEST(JsonScript, NestingLimit)
{
    Script s;
    // 40 arrays below the script and the text in them: 41 nested calls.
    EXPECT_EQ(s.script.Eval(nested(40)), QStringLiteral("x"));
    EXPECT_EQ(s.script.Eval(nested(41)), QStringLiteral("ERROR: Nesting level exceeded."));
    // The counter came back down: the same instance evaluates again.
    EXPECT_EQ(s.script.Eval(nested(40)), QStringLiteral("x"));
    EXPECT_EQ(s.eval(R"([[[{"a":1}]], "tail"])"), QStringLiteral("<%A(1)%>tail"));
}

TEST(JsonScript, ParseProblemsShowTheParserErrorBox)
{
    Script s;
    EXPECT_EQ(s.eval("x"), QString());
    EXPECT_EQ(s.eval(R"(["a",)"), QString());
    const auto &n = s.notices.notices();
    ASSERT_EQ(n.size(), 2u);
    EXPECT_EQ(n[0].title, QStringLiteral("Parser Error"));
    EXPECT_EQ(n[0].text, QStringLiteral("Invalid JSON"));
    EXPECT_EQ(n[0].icon, UserNotices::Icon::Exclamation);
    EXPECT_EQ(n[1].text, QStringLiteral("Missing ']': [\"a\",\r\n"));
}

TEST(JsonScript, CommandsWithoutAnObjectReachTheCaller)
{
    Script s;
    for (const char *script : {R"([{"alert":"text"}])", R"([{"if":[1]}])",
                               R"([{"switch":{"case":"a","items":"none"}}])",
                               R"([{"return":{"a":1}}])", R"([{"ph":[1]}])"}) {
        EXPECT_THROW(s.eval(script), AppError) << script;
    }
}
