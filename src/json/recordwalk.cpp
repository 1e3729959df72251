#include "json/recordwalk.h"

namespace zelvano::json {

RecordWalk::RecordWalk(const QString &answer) : m_answer(answer)
{
    const qsizetype first = m_answer.indexOf(u'{');
    m_hasRows = first >= 0;
    if (!m_hasRows)
        return;
    m_rest = QStringView(m_answer).first(m_answer.size() - 1);
    m_next = first;
}

bool RecordWalk::next()
{
    m_row = JsonValue();
    if (m_next < 0 || m_next >= m_rest.size()) {
        m_next = -1;
        return false;
    }
    qsizetype consumed = 0;
    m_row = ParseJson(m_rest.sliced(m_next), &consumed);
    // Always forward, even when the parse stopped on its opening brace.
    const qsizetype from = m_next + std::max<qsizetype>(consumed, 1);
    m_next = from < m_rest.size() ? m_rest.indexOf(u'{', from) : -1;
    return true;
}

} // namespace zelvano::json
