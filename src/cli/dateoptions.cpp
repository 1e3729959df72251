#include "cli/dateoptions.h"

#include "common/datetexts.h"
#include "store/appcontext.h"

namespace zelvano {

bool readDownloadOptions(const QStringList &args, const QStringList &flags,
                         const QStringList &valued, DownloadOptions *options, QString *problem)
{
    QString from, to;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        const bool hasNext = i + 1 < args.size();
        if (flags.contains(a)) {
            options->flags.insert(a);
        } else if ((a == QLatin1String("--from") || a == QLatin1String("--to")) && hasNext) {
            (a == QLatin1String("--from") ? from : to) = args.at(++i);
        } else if (valued.contains(a) && hasNext) {
            options->values.insert(a, args.at(++i));
        } else {
            *problem = QStringLiteral("unexpected argument '%1'").arg(a);
            return false;
        }
    }
    if (from.isEmpty() != to.isEmpty()) {
        *problem = QStringLiteral("--from and --to go together");
        return false;
    }
    if (from.isEmpty())
        return true;
    options->from = DateTexts::parseDate(from);
    options->to = DateTexts::parseDate(to);
    if (!options->from.isValid() || !options->to.isValid()) {
        *problem = QStringLiteral("dates are written dd/MM/yyyy");
        return false;
    }
    if (options->from > options->to) {
        *problem = QStringLiteral("Desde es posterior a Hasta: nada se envía al servidor");
        return false;
    }
    return true;
}

void applyDownloadOptions(AppContext &ctx, const DownloadOptions &options)
{
    if (!options.hasRange())
        return;
    ctx.newTripsOnly = false;
    ctx.DTdesde = options.from;
    ctx.DThasta = options.to;
}

} // namespace zelvano
