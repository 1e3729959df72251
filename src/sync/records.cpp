#include "sync/records.h"

#include "common/datetexts.h"
#include "common/vb.h"
#include "remote/answer.h"
#include "remote/columns.h"

#include <QCryptographicHash>
#include <QDateTime>

#include <cmath>

namespace zelvano::syncrecords {

namespace {

// The server keeps heads as whole numbers and litres to the hundredth: what it
// holds may differ from what was sent by half of its last digit.
constexpr double kHeadsTolerance = 0.5 + 1e-7;
constexpr double kLitresTolerance = 0.005 + 1e-7;

bool sameNumber(const QVariant &local, const QVariant &server, double tolerance)
{
    double a = 0;
    double b = 0;
    return numberOf(local, &a) && numberOf(server, &b) && std::fabs(a - b) <= tolerance;
}

QString shown(const QVariant &value)
{
    return vb::joinText(value);
}

// The widths of the server's text columns: it keeps what it is sent cut to them.
constexpr qsizetype kUsuarioWidth = 50;
constexpr qsizetype kTurnoWidth = 20;

bool sameText(const QVariant &local, const QVariant &server, qsizetype width)
{
    return shown(local).left(width) == shown(server);
}

} // namespace

ServerHeader unsentHeaderOf(const RemoteRow &row)
{
    namespace C = syncsql::UnsentHeader;
    return {row.field(C::Id),         row.field(C::IdPrg), row.field(C::Fecha),
            row.field(C::Usuario),    row.field(C::Turno), row.field(C::TotalCabezas),
            row.field(C::TotalLitros)};
}

ServerHeader headerOfLine(const RemoteRow &row)
{
    namespace C = syncsql::RecordOfLine;
    return {row.field(RemoteProductionDetail::Id),
            row.field(C::IdPrg),
            row.field(C::Fecha),
            row.field(C::Usuario),
            row.field(C::Turno),
            row.field(C::TotalCabezas),
            row.field(C::TotalLitros)};
}

ServerHeader productionHeaderOf(const RemoteRow &row)
{
    namespace C = RemoteProduction;
    return {row.field(C::Id),         row.field(C::IdPrg), row.field(C::Fecha),
            row.field(C::Usuario),    row.field(C::Turno), row.field(C::TotalCabezas),
            row.field(C::TotalLitros)};
}

qint64 wholeNumberOf(const QVariant &value)
{
    if (vb::isNull(value))
        return -1;
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return value.toLongLong() >= 0 ? value.toLongLong() : -1;
    case QMetaType::Double: {
        const double d = value.toDouble();
        return d >= 0 && d == std::floor(d) && d < 9e15 ? qint64(d) : -1;
    }
    default: {
        bool ok = false;
        const qint64 n = value.toString().trimmed().toLongLong(&ok);
        return ok && n >= 0 ? n : -1;
    }
    }
}

bool numberOf(const QVariant &value, double *out)
{
    if (vb::isNull(value))
        return false;
    switch (value.typeId()) {
    case QMetaType::QString:
        return vb::parseNumber(value.toString(), out) && std::isfinite(*out);
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        *out = value.toDouble();
        return std::isfinite(*out);
    default:
        return false;
    }
}

QDate dateOf(const QVariant &value)
{
    if (vb::isNull(value))
        return QDate();
    QDate d;
    switch (value.typeId()) {
    case QMetaType::QDate:
        d = value.toDate();
        break;
    case QMetaType::QDateTime:
        d = value.toDateTime().date();
        break;
    case QMetaType::QString:
        d = DateTexts::parseDate(value.toString().trimmed().section(u' ', 0, 0));
        break;
    default:
        return QDate();
    }
    return d.isValid() && d.year() >= 1000 && d.year() <= 9999 ? d : QDate();
}

bool sentFrom(const syncsql::Header &local, const ServerHeader &server)
{
    const QDate day = dateOf(local.fecha);
    return wholeNumberOf(server.idPrg) == wholeNumberOf(local.id) && day.isValid() &&
           day == dateOf(server.fecha) && sameText(local.usuario, server.usuario, kUsuarioWidth) &&
           sameText(local.turno, server.turno, kTurnoWidth) &&
           sameNumber(local.cabezas, server.cabezas, kHeadsTolerance) &&
           sameNumber(local.litros, server.litros, kLitresTolerance);
}

namespace {

// A line as the server keeps it: the herd cut to its width, heads whole,
// litres to the hundredth.
QString keptLine(const QVariant &rodeo, const QVariant &cabezas, const QVariant &litros)
{
    double heads = 0;
    double litres = 0;
    const bool numbers = numberOf(cabezas, &heads) && numberOf(litros, &litres);
    return shown(rodeo).left(50) + u'\x1f' +
           (numbers ? QString::number(std::llround(heads)) + u'\x1f' +
                          QString::number(std::llround(litres * 100))
                    : QStringLiteral("?"));
}

} // namespace

QStringList keptLines(const std::vector<syncsql::Detail> &local)
{
    QStringList lines;
    for (const syncsql::Detail &d : local)
        lines << keptLine(d.rodeo, d.cabezas, d.litros);
    lines.sort();
    return lines;
}

QStringList keptLines(const std::vector<RemoteRow> &server)
{
    QStringList lines;
    for (const RemoteRow &row : server)
        lines << keptLine(row.field(RemoteProductionDetail::Rodeo),
                          row.field(RemoteProductionDetail::Cabezas),
                          row.field(RemoteProductionDetail::Litros));
    lines.sort();
    return lines;
}

bool sameLines(const std::vector<syncsql::Detail> &local, const std::vector<RemoteRow> &server)
{
    return local.size() == server.size() && keptLines(local) == keptLines(server);
}

QString uploadProblem(const syncsql::Header &header, const std::vector<syncsql::Detail> &details)
{
    double n = 0;
    if (!dateOf(header.fecha).isValid())
        return QStringLiteral("la fecha '%1' no es una fecha valida").arg(shown(header.fecha));
    if (!numberOf(header.cabezas, &n))
        return QStringLiteral("el total de cabezas '%1' no es un numero")
            .arg(shown(header.cabezas));
    if (!numberOf(header.litros, &n))
        return QStringLiteral("el total de litros '%1' no es un numero").arg(shown(header.litros));
    for (const syncsql::Detail &d : details) {
        if (!numberOf(d.cabezas, &n))
            return QStringLiteral("las cabezas '%1' del rodeo '%2' no son un numero")
                .arg(shown(d.cabezas), shown(d.rodeo));
        if (!numberOf(d.litros, &n))
            return QStringLiteral("los litros '%1' del rodeo '%2' no son un numero")
                .arg(shown(d.litros), shown(d.rodeo));
    }
    return QString();
}

QString fingerprint(const QStringList &values)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    for (const QString &value : values) {
        hash.addData(value.toUtf8());
        hash.addData(QByteArrayView("\x1f", 1));
    }
    return QString::fromLatin1(hash.result().toHex());
}

QString fingerprint(const syncsql::Header &h, const std::vector<syncsql::Detail> &details)
{
    QStringList values{shown(h.fecha), shown(h.usuario), shown(h.turno), shown(h.cabezas),
                       shown(h.litros)};
    for (const syncsql::Detail &d : details)
        values << shown(d.rodeo) << shown(d.cabezas) << shown(d.litros);
    return fingerprint(values);
}

} // namespace zelvano::syncrecords
