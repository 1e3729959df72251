#pragma once

#include "common/usernotices.h"
#include "json/json.h"

#include <QHash>
#include <QString>

namespace zelvano::json {

// Evaluates a small script language written as JSON into text: a script is an
// array whose texts are copied and whose objects name commands ("alert",
// "input", "set", "get", "if", "switch", "return") or placeholders. Variables
// live as long as the instance. Message and input boxes go through the notices,
// so that the evaluator runs headless.
class cJSONScript
{
public:
    explicit cJSONScript(UserNotices &notices);

    // Parses sJSON and evaluates its elements; a parse problem is shown in a
    // "Parser Error" box and gives the empty text. Errors of the commands (an
    // argument that is not an object where one is needed) reach the caller.
    QString Eval(const QString &sJSON);
    // Evaluates one node and everything below it.
    QString ExecCommand(const JsonValue &node);

private:
    QString command(const QString &key, const JsonValue &v);
    QString argument(const JsonValue &v, const QString &name);

    UserNotices &m_notices;
    qint32 m_nesting = 0;
    QHash<QString, QString> m_variables;
};

} // namespace zelvano::json
