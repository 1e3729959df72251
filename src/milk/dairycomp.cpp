// Dairycomp: always the same file "<stem>.csv", litres per head; the day of
// the milking is the day the file last changed, and a totals line ends it.
#include "milk/milkformat.h"

namespace zelvano {

namespace {

class Dairycomp final : public MilkFormat
{
public:
    QString setting() const override { return QStringLiteral("dairy"); }
    QString source() const override { return QStringLiteral("Dairycomp"); }
    QString pattern(const QString &stem) const override { return stem + QStringLiteral(".csv"); }
    // The export keeps its name: the stamp keeps successive readings apart.
    QString readName(const QString &name, const QString &stamp) const override
    {
        return readPrefix() + stamp + u' ' + name;
    }

    QDate readingDay(const QString &, const QString &, const QDate &changedOn) const override
    {
        return changedOn;
    }

    bool endsData(const QString &line) const override { return line.contains(u'='); }

    MilkLine readLine(FieldCutter &fields, QString &code, QString &unused,
                      MilkGroup *row) const override
    {
        fields.cut(&code);
        fields.cut(&unused);
        double heads = 0, perHead = 0;
        bool headsOk = false, perHeadOk = false;
        if (!fields.cutPlainNumber(&headsOk, &heads) || !headsOk)
            return MilkLine::LeftOut;
        if (!fields.cutNumber(true, &perHeadOk, &perHead) || !perHeadOk)
            return MilkLine::LeftOut;
        *row = {code, heads, perHead * heads, 0.0};
        return MilkLine::Group;
    }
};

} // namespace

const MilkFormat &dairycompFormat()
{
    static const Dairycomp format;
    return format;
}

} // namespace zelvano
