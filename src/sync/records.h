#pragma once

#include "sync/statements.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <vector>

namespace zelvano {

class RemoteRow;

// How the synchronisation judges records: whether a server header is the one a
// local reading was sent as, and whether a record can move at all.
namespace syncrecords {

// A production header as the server holds it, whichever read it came from.
struct ServerHeader
{
    QVariant id;
    QVariant idPrg;
    QVariant fecha;
    QVariant usuario;
    QVariant turno;
    QVariant cabezas;
    QVariant litros;
};
// A row of unsentHeadersSql; its id is Null in the row that says "none".
ServerHeader unsentHeaderOf(const RemoteRow &row);
// A row of "select * from cabezas_produccion".
ServerHeader productionHeaderOf(const RemoteRow &row);
// A row of linesOfRecordsSql.
ServerHeader headerOfLine(const RemoteRow &row);

// A whole number held as a number or as a text ("31", " 31 "); -1 otherwise.
qint64 wholeNumberOf(const QVariant &value);
// A number held as a number or as a text with a point; false otherwise (Null too).
bool numberOf(const QVariant &value, double *out);
// A date as either side holds it (a date, "yyyy-MM-dd", "dd/MM/yyyy", with or
// without a time of day); invalid for anything else, for "0000-00-00" and for
// years the server cannot keep.
QDate dateOf(const QVariant &value);

// True when the server header holds what the upload sends for this local
// reading: id_prg is its local id, and the date, user, shift, heads and litres
// are the same. Dates are compared as dates and numbers as numbers, within
// the rounding the server applies to what it is sent (whole heads, litres to
// the hundredth), texts as the server keeps them (cut to its column's width).
bool sentFrom(const syncsql::Header &local, const ServerHeader &server);

// Lines as the server keeps them, in one order: the reading's, or a header's
// detail rows.
QStringList keptLines(const std::vector<syncsql::Detail> &local);
QStringList keptLines(const std::vector<RemoteRow> &server);
// True when the server's detail rows of a header are the reading's lines, in
// any order, as the server keeps them.
bool sameLines(const std::vector<syncsql::Detail> &local, const std::vector<RemoteRow> &server);

// Why a local reading cannot go up (a date that is not one, a total or a
// herd's value that is not a number); empty when it can.
QString uploadProblem(const syncsql::Header &header, const std::vector<syncsql::Detail> &details);

// A short text that changes whenever one of the values does.
QString fingerprint(const QStringList &values);
QString fingerprint(const syncsql::Header &header, const std::vector<syncsql::Detail> &details);

} // namespace syncrecords
} // namespace zelvano
