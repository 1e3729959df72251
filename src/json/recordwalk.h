#pragma once

#include "json/json.h"

#include <QString>

namespace zelvano::json {

// The rows of a server answer: from the first "{" on, the answer's last
// character cut off (the "]" of an array answer), one object at a time. Each
// next row starts at the first "{" after the end of the object just parsed, so
// the walk is linear in the size of the answer and a "{" inside a text value or
// a nested object never makes a row of its own.
class RecordWalk
{
public:
    explicit RecordWalk(const QString &answer);

    bool hasRows() const { return m_hasRows; } // the answer holds a "{"
    // Parses the next row; false (and row() empty) when there is none.
    bool next();
    const JsonValue &row() const { return m_row; }

private:
    QString m_answer; // kept so that the view stays valid
    QStringView m_rest;
    qsizetype m_next = -1; // offset of the next row's "{" in m_rest, -1 at the end
    bool m_hasRows = false;
    JsonValue m_row;
};

} // namespace zelvano::json
