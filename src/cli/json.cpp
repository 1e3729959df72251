#include "cli/cli.h"
#include "cli/commands.h"

#include "common/error.h"
#include "json/json.h"
#include "json/jsonscript.h"
#include "json/recordwalk.h"

#include <QFile>

#include <cstdio>
#include <string>

namespace zelvano {

using namespace json;

namespace {

void write(std::FILE *to, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), to);
    std::fflush(to);
}

// The file's text, or a message and false.
bool readText(const QStringList &args, const char *usage, QString *text, int *status)
{
    if (args.size() != 1) {
        write(stderr, QStringLiteral("usage: zelvano %1 FILE\n").arg(QLatin1String(usage)));
        *status = 2;
        return false;
    }
    QFile file(args.at(0));
    if (!file.open(QIODevice::ReadOnly)) {
        write(stderr, QStringLiteral("cannot read %1\n").arg(args.at(0)));
        *status = 1;
        return false;
    }
    *text = QString::fromUtf8(file.readAll());
    return true;
}

// Boxes of a script run from the command line: messages on standard error,
// answers read from standard input (the default once it has no more lines).
class StdioNotices : public UserNotices
{
public:
    void messageBox(const QString &text, Icon, const QString &title) override
    {
        ++messages;
        write(stderr, title + QStringLiteral(": ") + text + u'\n');
    }
    bool askYesNo(const QString &text, const QString &title, bool defaultYes) override
    {
        write(stderr, title + QStringLiteral(": ") + text + u'\n');
        return defaultYes;
    }
    QString inputBox(const QString &prompt, const QString &, const QString &defaultAnswer) override
    {
        write(stderr, prompt + u'\n');
        std::string line;
        int c;
        bool any = false;
        while ((c = std::fgetc(stdin)) != EOF) {
            any = true;
            if (c == '\n')
                break;
            line += char(c);
        }
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!any || line.empty())
            return defaultAnswer;
        return QString::fromStdString(line);
    }
    void popup(const QString &text) override { write(stderr, text + u'\n'); }

    int messages = 0;
};

} // namespace

int cmdJson(CliEnv &, const QStringList &args)
{
    QString text;
    int status = 0;
    if (!readText(args, "json", &text, &status))
        return status;
    const JsonValue tree = ParseJson(text);
    const QString errors = ParserErrors();
    write(stdout, toCanonicalJson(tree) + u'\n');
    if (errors.isEmpty())
        return 0;
    write(stderr, errors);
    return 1;
}

int cmdRows(CliEnv &, const QStringList &args)
{
    QString text;
    int status = 0;
    if (!readText(args, "rows", &text, &status))
        return status;
    RecordWalk walk(text);
    QString out;
    while (walk.next()) {
        out += toCanonicalJson(walk.row());
        out += u'\n';
        if (out.size() > 1 << 20) {
            write(stdout, out);
            out.clear();
        }
    }
    write(stdout, out);
    return 0;
}

int cmdScript(CliEnv &, const QStringList &args)
{
    QString text;
    int status = 0;
    if (!readText(args, "script", &text, &status))
        return status;
    StdioNotices notices;
    cJSONScript script(notices);
    try {
        const QString result = script.Eval(text);
        write(stdout, result + u'\n');
    } catch (const AppError &error) {
        write(stderr, error.text() + u'\n');
        return 1;
    }
    // The "Parser Error" box is the only message that is not the script's own.
    const bool parseFailed = !ParserErrors().isEmpty();
    return parseFailed ? 1 : 0;
}

} // namespace zelvano
