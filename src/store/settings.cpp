#include "store/settings.h"

#include "common/error.h"
#include "common/errortext.h"
#include "common/vb.h"
#include "store/appcontext.h"
#include "store/eventlog.h"
#include "store/tables.h"

#include <charconv>
#include <limits>

namespace zelvano {

namespace {

// A Null counts as the empty text, false or 0, so that one empty column does
// not keep the columns after it from loading.
QString textOf(const QVariant &v)
{
    return vb::isNull(v) ? QString() : vb::toText(v);
}

bool boolOf(const QVariant &v)
{
    return vb::isNull(v) ? false : vb::toBool(v);
}

// The leading number of a text: blanks before it, an optional sign, digits and
// one "." for the decimal point; reading stops at the first character that
// does not fit ("1 5" is 1, "2e1" is 2, "15 min" is 15); none gives 0.
double leadingNumber(const QString &text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    QByteArray number;
    if (i < n && (text[i] == u'-' || text[i] == u'+'))
        number.append(char(text[i++].unicode()));
    bool digits = false, point = false;
    for (; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c >= u'0' && c <= u'9') {
            number.append(char(c));
            digits = true;
        } else if (c == u'.' && !point) {
            number.append('.');
            point = true;
        } else {
            break;
        }
    }
    if (!digits)
        return 0.0;
    if (number.endsWith('.'))
        number.chop(1);
    const char *first = number.constData();
    bool negative = false;
    if (*first == '-' || *first == '+')
        negative = *first++ == '-';
    double value = 0;
    const auto read = std::from_chars(first, number.constData() + number.size(), value);
    if (read.ec == std::errc::result_out_of_range) {
        // Too many digits: huge when any digit before the point is not 0, else tiny.
        const QByteArray whole = QByteArray(first).split('.').first();
        value = whole.count('0') == whole.size() ? 0.0 : std::numeric_limits<double>::infinity();
    }
    return negative ? -value : value;
}

} // namespace

double downloadIntervalOf(const QVariant &useInterval, const QVariant &everyMinutes)
{
    return boolOf(useInterval) ? leadingNumber(textOf(everyMinutes)) : 0.0;
}

QStringList Settings::describe() const
{
    auto flag = [](bool b) { return b ? QStringLiteral("True") : QStringLiteral("False"); };
    return {
        QStringLiteral("CompanyField0=") + vb::joinText(CompanyField0),
        QStringLiteral("CompanyField1=") + vb::joinText(CompanyField1),
        QStringLiteral("CompanyField2=") + CompanyField2,
        QStringLiteral("CompanyField3=") + CompanyField3,
        QStringLiteral("ClientId=") + ClientId,
        QStringLiteral("ServerHost=") + ServerHost,
        QStringLiteral("ClientPassword=") + ClientPassword,
        QStringLiteral("RemoteMode=") + RemoteMode,
        QStringLiteral("UseDownloadInterval=") + flag(UseDownloadInterval),
        QStringLiteral("DownloadEveryMinutes=") + vb::numberText(DownloadEveryMinutes),
        QStringLiteral("CsvImportEnabled=") + flag(CsvImportEnabled),
        QStringLiteral("ImportFolder=") + ImportFolder,
        QStringLiteral("ImportFileName=") + ImportFileName,
        QStringLiteral("ImportTime=") + ImportTime,
        QStringLiteral("ImportSoftware=") + ImportSoftware,
        QStringLiteral("CsvSplitMark=") + CsvSplitMark,
        QStringLiteral("CsvDecimalSeparator=") + CsvDecimalSeparator,
        QStringLiteral("HeadCountFromFeeding=") + flag(HeadCountFromFeeding),
        QStringLiteral("HeadCountFromMilk=") + flag(HeadCountFromMilk),
    };
}

void Inicializar_Usuarios(AppContext &ctx)
{
    if (!ctx.Connected)
        return;
    try {
        Recordset rs = ctx.db().openRecordset(QStringLiteral("Select * from mi_empresa ;"));
        if (rs.eof())
            return;
        Settings &s = ctx.settings;
        s.CompanyField0 = rs.value(MiEmpresa::CompanyField0);
        s.CompanyField1 = rs.value(MiEmpresa::CompanyField1);
        s.CompanyField2 = textOf(rs.value(MiEmpresa::CompanyField2));
        s.CompanyField3 = textOf(rs.value(MiEmpresa::CompanyField3));
        s.ClientId = vb::joinText(rs.value(MiEmpresa::ClientId));
        s.ServerHost = vb::joinText(rs.value(MiEmpresa::ServerHost));
        s.ClientPassword = vb::joinText(rs.value(MiEmpresa::ClientPassword));
        const QVariant mode = rs.value(MiEmpresa::RemoteMode);
        s.RemoteMode = (!vb::isNull(mode) && vb::joinText(mode) == QLatin1String("ODBC"))
                           ? QStringLiteral("ODBC")
                           : QStringLiteral("WEB");
        s.UseDownloadInterval = boolOf(rs.value(MiEmpresa::UseDownloadInterval));
        s.DownloadEveryMinutes = downloadIntervalOf(rs.value(MiEmpresa::UseDownloadInterval),
                                                    rs.value(MiEmpresa::DownloadEveryMinutes));
        s.CsvImportEnabled = boolOf(rs.value(MiEmpresa::CsvImportEnabled));
        if (s.CsvImportEnabled) {
            s.ImportFolder = textOf(rs.value(MiEmpresa::ImportFolder));
            s.ImportFileName = textOf(rs.value(MiEmpresa::ImportFileName));
            s.ImportTime = textOf(rs.value(MiEmpresa::ImportTime));
            s.ImportSoftware = vb::joinText(rs.value(MiEmpresa::ImportSoftware));
        } else {
            s.ImportFolder.clear();
            s.ImportFileName.clear();
            s.ImportTime.clear();
            s.ImportSoftware.clear();
        }
        s.CsvSplitMark = vb::joinText(rs.value(MiEmpresa::CsvSplitMark));
        s.CsvDecimalSeparator = vb::joinText(rs.value(MiEmpresa::CsvDecimalSeparator));
        s.HeadCountFromFeeding = boolOf(rs.value(MiEmpresa::HeadCountFromFeeding));
        s.HeadCountFromMilk = boolOf(rs.value(MiEmpresa::HeadCountFromMilk));
    } catch (const AppError &error) {
        // Keep what was loaded; the next tick reads the row again.
        logEvent(ctx, ErrorText::inWindow(error, QStringLiteral("Inicializar_Usuarios")));
    }
}

} // namespace zelvano
