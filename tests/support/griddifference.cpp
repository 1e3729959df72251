#include "support/griddifference.h"

namespace zelvano::test {

QString gridDifference(const std::vector<TripGrid::Row> &a, const std::vector<TripGrid::Row> &b,
                       const QString &where)
{
    if (a.size() != b.size())
        return QStringLiteral("%1 count %2 against %3").arg(where).arg(a.size()).arg(b.size());
    for (size_t r = 0; r < a.size(); ++r) {
        const QString at = QStringLiteral("%1 %2").arg(where).arg(r);
        if (a[r].cells.size() != b[r].cells.size())
            return at + QStringLiteral(": cell count");
        for (size_t c = 0; c < a[r].cells.size(); ++c) {
            const TripGrid::Cell &x = a[r].cells[c];
            const TripGrid::Cell &y = b[r].cells[c];
            if (x.value != y.value || x.value.typeId() != y.value.typeId() ||
                x.background != y.background || x.icon != y.icon)
                return QStringLiteral("%1 cell %2: '%3' against '%4'")
                    .arg(at)
                    .arg(c)
                    .arg(x.value.toString(), y.value.toString());
        }
        const QString inner = gridDifference(a[r].children, b[r].children, at + " child");
        if (!inner.isEmpty())
            return inner;
    }
    return QString();
}

} // namespace zelvano::test
