#include "printers.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include <QFile>

namespace {

struct ProgramRun
{
    int status = -1;
    QString out;
    QString err;
};

ProgramRun zelvano(const QStringList &args, const QByteArray &input = QByteArray())
{
    QProcess p;
    p.start(QStringLiteral(ZELVANO_EXECUTABLE), args);
    p.waitForStarted();
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(60000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

class JsonCommands : public ::testing::Test
{
protected:
    QString file(const QByteArray &content)
    {
        const QString path = m_dir.filePath(QStringLiteral("f%1.json").arg(m_n++));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(content);
        return path;
    }
    QTemporaryDir m_dir;
    int m_n = 0;
};

} // namespace

TEST_F(JsonCommands, JsonPrintsTheTreeAndTheMessages)
{
    ProgramRun r = zelvano({QStringLiteral("json"), file("{a: 'x\xC3\xA9', 'n': 12.50, l:[true,null]}")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, QString::fromUtf8("{\"a\":\"x\xC3\xA9\",\"n\":12.50,\"l\":[true,null]}\n"));
    EXPECT_EQ(r.err, QString());

    r = zelvano({QStringLiteral("json"), file("{'k':1")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, QStringLiteral("{\"k\":\"<empty>\"}\n"));
    EXPECT_EQ(r.err, QStringLiteral("Missing '}': {'k':1\r\n"));

    r = zelvano({QStringLiteral("json"), file("nothing")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, QStringLiteral("\"<empty>\"\n"));
    EXPECT_EQ(r.err, QStringLiteral("Invalid JSON"));

    EXPECT_EQ(zelvano({QStringLiteral("json"), m_dir.filePath(QStringLiteral("none"))}).status, 1);
    EXPECT_EQ(zelvano({QStringLiteral("json")}).status, 2);
}

TEST_F(JsonCommands, RowsPrintsOneObjectALine)
{
    const ProgramRun r = zelvano({QStringLiteral("rows"),
                           file("[{\"id\":\"1\",\"t\":\"{x}\"},\n{\"id\":\"2\",\"n\":3}]")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, QStringLiteral("{\"id\":\"1\",\"t\":\"{x}\"}\n{\"id\":\"2\",\"n\":3}\n"));
    EXPECT_EQ(zelvano({QStringLiteral("rows"), file("[]")}).out, QString());
}

TEST_F(JsonCommands, ScriptPrintsTheResultAndReadsAnswers)
{
    const QString script = file(R"([{"alert":{"message":"Hola","title":"Aviso"}}, "Hi ",
        {"input":{"prompt":"Name?","title":"Who","default":"nobody"}}, "/",
        {"input":{"prompt":"Again?","title":"Who","default":"nobody"}}])");
    ProgramRun r = zelvano({QStringLiteral("script"), script}, "Ana\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, QStringLiteral("Hi Ana/nobody\n"));
    EXPECT_EQ(r.err, QStringLiteral("Aviso: Hola\nName?\nAgain?\n"));

    r = zelvano({QStringLiteral("script"), script});
    EXPECT_EQ(r.out, QStringLiteral("Hi nobody/nobody\n"));

    r = zelvano({QStringLiteral("script"), file("[\"a\",")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, QStringLiteral("\n"));
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("Parser Error: Missing ']'"))) << r.err.toStdString();

    r = zelvano({QStringLiteral("script"), file(R"([{"alert":"plain"}])")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, QStringLiteral("Error 424 (Object required)\n"));
}
