#include "milk/milkformat.h"

#include "milk/localenumber.h"
#include "platform/folderlisting.h"

namespace zelvano {

const MilkFormat &delproFormat();
const MilkFormat &dairycompFormat();

const MilkFormat *milkFormat(const QString &setting)
{
    // One line per dairy program.
    for (const MilkFormat *format : {&delproFormat(), &dairycompFormat()})
        if (format->setting() == setting)
            return format;
    return nullptr;
}

QString readPrefix()
{
    return QStringLiteral("--leido--");
}

QString asidePrefix()
{
    return QStringLiteral("--rechazado--");
}

bool isImportName(const MilkFormat &format, const QString &stem, const QString &name)
{
    return !name.isEmpty() && !name.contains(QStringView(kReadMark)) &&
           !name.startsWith(asidePrefix()) && wildcardMatch(format.pattern(stem), name);
}

bool FieldCutter::cut(QString *field)
{
    const qsizetype pos = m_rest.indexOf(m_splitMark);
    if (pos < 0)
        return false;
    *field = m_rest.left(pos);
    m_rest = m_rest.mid(pos + 1);
    return true;
}

bool FieldCutter::cutNumber(bool last, bool *isNumber, double *value)
{
    const qsizetype pos = m_rest.indexOf(m_splitMark);
    if (pos < 0 && !last)
        return false;
    QString field = pos < 0 ? m_rest : m_rest.left(pos);
    if (m_decimalMark == u'.')
        field.replace(u',', u'.');
    else
        field.replace(u'.', u',');
    if (pos >= 0)
        m_rest = m_rest.mid(pos + 1);
    *isNumber = readLocaleNumber(field, m_decimalMark, value);
    return true;
}

bool FieldCutter::cutPlainNumber(bool *isNumber, double *value)
{
    QString field;
    if (!cut(&field))
        return false;
    *isNumber = readLocaleNumber(field, m_decimalMark, value);
    return true;
}

} // namespace zelvano
