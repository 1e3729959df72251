// Delpro: files "<stem>*.csv", one line per group with its litres and pit
// kilograms; the day of the milking is in the file's name.
#include "common/datetexts.h"
#include "milk/milkformat.h"

namespace zelvano {

// "dd/MM/yyyy" from the eight digits yyyyMMdd after the first "_" that
// follows the name's stem (or right after the stem when there is none).
QString delproDateText(const QString &fileName, const QString &stem)
{
    const qsizetype stemLength = qMin(stem.size(), fileName.size());
    qsizetype mark = fileName.indexOf(u'_', stemLength);
    if (mark < 0)
        mark = stemLength - 1;
    const QString year = fileName.mid(mark + 1, 4);
    const QString month = fileName.mid(mark + 5, 2);
    const QString day = fileName.mid(mark + 7, 2);
    return day + u'/' + month + u'/' + year;
}

namespace {

class Delpro final : public MilkFormat
{
public:
    QString setting() const override { return QStringLiteral("delpro"); }
    QString source() const override { return QStringLiteral("Delpro"); }
    QString pattern(const QString &stem) const override { return stem + QStringLiteral("*.csv"); }
    QString readName(const QString &name, const QString &) const override
    {
        return readPrefix() + name;
    }

    QDate readingDay(const QString &fileName, const QString &stem,
                     const QDate &changedOn) const override
    {
        const QString text = delproDateText(fileName, stem);
        // Only the eight digits themselves: "2026-3-1" or "+2026" are no day.
        bool digits = text.size() == 10;
        for (int i : {0, 1, 3, 4, 6, 7, 8, 9})
            digits = digits && text[i].isDigit() && text[i].unicode() < 128;
        const QDate named = digits ? DateTexts::parseDate(text) : QDate();
        // A day the local and the remote database both store as a date.
        if (named.isValid() && named.year() >= 1000 && named.year() <= 9999)
            return named;
        return changedOn;
    }

    bool endsData(const QString &) const override { return false; }

    MilkLine readLine(FieldCutter &fields, QString &code, QString &unused,
                      MilkGroup *row) const override
    {
        fields.cut(&code);
        if (code.isEmpty())
            return MilkLine::End;
        fields.cut(&unused);
        double heads = 0;
        bool headsOk = false;
        if (!fields.cutPlainNumber(&headsOk, &heads) || !headsOk)
            return MilkLine::LeftOut;
        if (heads == 0)
            return MilkLine::EmptyGroup;
        double litres = 0, ignored = 0, pitKg = 0;
        bool litresOk = false, ignoredOk = false, pitOk = false;
        const bool litresCut = fields.cutNumber(false, &litresOk, &litres);
        fields.cutNumber(false, &ignoredOk, &ignored);
        const bool pitCut = fields.cutNumber(true, &pitOk, &pitKg);
        if (!litresCut || !litresOk || !pitCut || !pitOk)
            return MilkLine::LeftOut;
        *row = {code, heads, litres, pitKg};
        return MilkLine::Group;
    }
};

} // namespace

const MilkFormat &delproFormat()
{
    static const Delpro format;
    return format;
}

} // namespace zelvano
