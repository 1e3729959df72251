#pragma once

#include <QString>
#include <QVariant>

namespace zelvano {

struct AppContext;

// The settings record: the suite's company row as the program reads it, plus
// the run state shared by the subsystems. Loaded values keep their last value
// until the next successful load.
struct Settings
{
    QVariant CompanyField0;
    QVariant CompanyField1;
    QString CompanyField2;
    QString CompanyField3;
    QString ClientId;
    QString ServerHost;
    QString ClientPassword;
    QString RemoteMode;
    bool UseDownloadInterval = false;
    double DownloadEveryMinutes = 0;
    bool CsvImportEnabled = false;
    QString ImportFolder;
    QString ImportFileName;
    QString ImportTime;
    QString ImportSoftware;
    QString CsvSplitMark;
    QString CsvDecimalSeparator;
    bool HeadCountFromFeeding = false;
    bool HeadCountFromMilk = false;

    // Run state
    qint16 MinuteCounter = 0;
    QString LocaleDecimalSeparator;

    // "Name=value" lines in the record's order, for the command line.
    QStringList describe() const;
};

// Reads the first row of mi_empresa into ctx.settings. Does nothing while not
// connected; an empty table leaves the record as it was.
void Inicializar_Usuarios(AppContext &ctx);

// The minutes between automatic downloads that the settings row's two
// columns give: 0 (every tick) when the interval is not used.
double downloadIntervalOf(const QVariant &useInterval, const QVariant &everyMinutes);

} // namespace zelvano
