#pragma once

#include <QDate>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

namespace zelvano {

struct AppContext;

// The options of the commands that download first: a date range
// ("--from dd/MM/yyyy --to dd/MM/yyyy", both or neither) and the command's
// own flags ("--json") and valued options ("--pdf FILE").
struct DownloadOptions
{
    QDate from; // invalid: new trips only
    QDate to;
    QSet<QString> flags;
    QHash<QString, QString> values;

    bool hasRange() const { return from.isValid(); }
};

// Reads the arguments; false with the reason (a usage line, or the date rule)
// when they do not fit.
bool readDownloadOptions(const QStringList &args, const QStringList &flags,
                         const QStringList &valued, DownloadOptions *options, QString *problem);

// The download's tab as the options choose it: new trips, or the range.
void applyDownloadOptions(AppContext &ctx, const DownloadOptions &options);

} // namespace zelvano
