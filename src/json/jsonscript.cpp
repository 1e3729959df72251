#include "json/jsonscript.h"

#include "common/error.h"
#include "common/vb.h"
#include "json/stringbuilder.h"

namespace zelvano::json {

namespace {
constexpr qint32 kMaxNesting = 41;
constexpr long kObjectRequired = 424;

QString objectRequired()
{
    return QStringLiteral("Object required");
}

const JsonValue &entry(const JsonValue &v, const QString &name)
{
    if (!v.isDictionary())
        raise(kObjectRequired, objectRequired());
    return v.item(name);
}

// A value used as text where the script wants one; containers have none.
QString scalarText(const JsonValue &v)
{
    if (v.isDictionary() || v.isCollection())
        raise(ErrNo::TypeMismatch);
    if (v.kind() == JsonValue::Kind::Number)
        return vb::numberText(v.number());
    return v.text();
}
} // namespace

cJSONScript::cJSONScript(UserNotices &notices) : m_notices(notices) {}

QString cJSONScript::Eval(const QString &sJSON)
{
    const JsonValue script = ParseJson(sJSON);
    const QString errors = ParserErrors();
    if (!errors.isEmpty() || script.isEmpty()) {
        m_notices.messageBox(errors, UserNotices::Icon::Exclamation, QStringLiteral("Parser Error"));
        return QString();
    }
    cStringBuilder out;
    // Elements are taken by number: a dictionary, whose keys are texts, has none.
    for (const JsonValue &element : script.elements()) {
        switch (element.kind()) {
        case JsonValue::Kind::Null:
            out.Append(u"null");
            break;
        case JsonValue::Kind::Text:
            out.Append(element.text());
            break;
        default:
            out.Append(ExecCommand(element));
        }
    }
    return out.toString();
}

QString cJSONScript::ExecCommand(const JsonValue &node)
{
    if (m_nesting >= kMaxNesting)
        return QStringLiteral("ERROR: Nesting level exceeded.");
    ++m_nesting;
    QString out;
    switch (node.kind()) {
    case JsonValue::Kind::Null:
        out = QStringLiteral("null");
        break;
    case JsonValue::Kind::Text:
        out = node.text();
        break;
    case JsonValue::Kind::Boolean:
        out = node.boolean() ? QStringLiteral("true") : QStringLiteral("false");
        break;
    case JsonValue::Kind::Number:
        out = vb::numberText(node.number()).replace(u',', u'.');
        break;
    case JsonValue::Kind::Collection: {
        // Only lists of parts need the builder; a single value is its own text.
        cStringBuilder sb;
        for (const JsonValue &element : node.elements())
            sb.Append(ExecCommand(element));
        out = sb.toString();
        break;
    }
    case JsonValue::Kind::Dictionary: {
        cStringBuilder sb;
        for (const auto &[key, value] : node.entries())
            sb.Append(command(key, value));
        out = sb.toString();
        break;
    }
    case JsonValue::Kind::Empty:
        break;
    }
    // Lowered on the normal way out only: an error leaves the count raised.
    --m_nesting;
    return out;
}

QString cJSONScript::argument(const JsonValue &v, const QString &name)
{
    return ExecCommand(entry(v, name));
}

QString cJSONScript::command(const QString &key, const JsonValue &v)
{
    const QString name = key.toLower();
    if (name == QLatin1String("alert")) {
        const QString message = argument(v, QStringLiteral("message"));
        const QString title = argument(v, QStringLiteral("title"));
        m_notices.messageBox(message, UserNotices::Icon::Information, title);
        return QString();
    }
    if (name == QLatin1String("input")) {
        const QString prompt = argument(v, QStringLiteral("prompt"));
        const QString title = argument(v, QStringLiteral("title"));
        const QString defaultAnswer = argument(v, QStringLiteral("default"));
        return m_notices.inputBox(prompt, title, defaultAnswer);
    }
    if (name == QLatin1String("set")) {
        const QString variable = scalarText(entry(v, QStringLiteral("name")));
        m_variables.insert(variable, argument(v, QStringLiteral("value")));
        return QString();
    }
    if (name == QLatin1String("get")) {
        const QString variable = scalarText(entry(v, QStringLiteral("name")));
        const auto it = m_variables.constFind(variable);
        const QString value = ExecCommand(it == m_variables.cend() ? JsonValue()
                                                                   : JsonValue::makeText(*it));
        if (!value.isEmpty())
            return value;
        return argument(v, QStringLiteral("default"));
    }
    if (name == QLatin1String("if")) {
        const QString type = scalarText(entry(v, QStringLiteral("type"))).toLower();
        const QString value1 = argument(v, QStringLiteral("value1"));
        const QString value2 = argument(v, QStringLiteral("value2"));
        bool holds = false;
        if (type == QLatin1String("eq"))
            holds = value1.toLower() == value2.toLower();
        else if (type == QLatin1String("gt"))
            holds = QString::compare(value1, value2, Qt::CaseSensitive) > 0;
        else if (type == QLatin1String("lt"))
            holds = QString::compare(value1, value2, Qt::CaseSensitive) < 0;
        else if (type == QLatin1String("gte"))
            holds = QString::compare(value1, value2, Qt::CaseSensitive) >= 0;
        else if (type == QLatin1String("lte"))
            holds = QString::compare(value1, value2, Qt::CaseSensitive) <= 0;
        return argument(v, holds ? QStringLiteral("true") : QStringLiteral("false"));
    }
    if (name == QLatin1String("switch")) {
        QString output = argument(v, QStringLiteral("default"));
        const QString wanted = argument(v, QStringLiteral("case")).toLower();
        const JsonValue &items = entry(v, QStringLiteral("items"));
        if (!items.isCollection())
            raise(kObjectRequired, objectRequired());
        for (const JsonValue &item : items.elements()) {
            if (scalarText(entry(item, QStringLiteral("case"))).toLower() == wanted) {
                output = ExecCommand(entry(item, QStringLiteral("return")));
                break;
            }
        }
        return output;
    }
    if (name == QLatin1String("return"))
        return scalarText(v);

    // A placeholder for whoever fills in the text later.
    QString arguments;
    if (v.isDictionary()) {
        QStringList parts;
        for (const auto &entryPair : v.entries())
            parts << scalarText(entryPair.second);
        arguments = parts.join(u',');
    } else if (v.isCollection()) {
        raise(kObjectRequired, objectRequired());
    } else {
        arguments = scalarText(v);
    }
    return QStringLiteral("<%") + key.toUpper() + u'(' + arguments + QStringLiteral(")%>");
}

} // namespace zelvano::json
