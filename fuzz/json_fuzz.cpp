// libFuzzer target: the JSON parser, the record walk and the script evaluator
// on arbitrary input, read both as UTF-8 and as raw UTF-16 code units (so that
// lone surrogates and every code unit reach the readers).
#include "common/error.h"
#include "common/usernotices.h"
#include "json/json.h"
#include "json/jsonscript.h"
#include "json/recordwalk.h"
#include "json/stringbuilder.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace zelvano;
using namespace zelvano::json;

namespace {

class SilentNotices : public UserNotices
{
public:
    void messageBox(const QString &, Icon, const QString &) override {}
    bool askYesNo(const QString &, const QString &, bool defaultYes) override { return defaultYes; }
    QString inputBox(const QString &, const QString &, const QString &d) override { return d; }
    void popup(const QString &) override {}
};

void check(bool condition)
{
    if (!condition)
        std::abort();
}

void exercise(const QString &text)
{
    const JsonValue tree = ParseJson(text);
    const QString errors = ParserErrors();
    // Bounded messages: a few times the input at most.
    check(errors.size() <= 3 * text.size() + 70000);
    if (!tree.isEmpty())
        check(!toCanonicalJson(tree).isEmpty());

    qsizetype end = -1;
    ParseJson(QStringView(text), &end);
    check(end >= 0 && end <= text.size());

    RecordWalk walk(text);
    qsizetype rows = 0;
    while (walk.next()) {
        check(walk.row().isDictionary());
        ++rows;
    }
    check(rows <= text.count(u'{'));

    SilentNotices notices;
    cJSONScript script(notices);
    try {
        script.Eval(text);
    } catch (const AppError &) {
        // Script errors reach the caller by design.
    }

    cStringBuilder sb;
    sb.ChunkSize(16);
    sb.Append(text);
    if (sb.Length() > 2) {
        sb.Remove(1, 1);
        sb.Insert(sb.Length() / 2, QStringView(text).left(3));
    }
    check(sb.Find(QStringView(text).left(2)) >= 0);
    sb.HeapMinimize();
    check(sb.Capacity() >= sb.Length());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    exercise(QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size)));
    exercise(QString(reinterpret_cast<const QChar *>(data), qsizetype(size / 2)));
    return 0;
}
