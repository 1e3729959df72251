#pragma once

#include "remote/columns.h"
#include "remote/remote.h"

#include <QString>
#include <QVariant>

#include <vector>

// The SQL texts of the production synchronisation, local and remote. Every
// value placed between apostrophes has its apostrophes and backslashes
// doubled, numbers are written with a point and no grouping, and dates as
// "yyyy-MM-dd", whatever the desktop's locale.
namespace zelvano::syncsql {

// One local production header as the upload reads it (positions 0-5 and 8).
struct Header
{
    QVariant id;       // 0
    QVariant fecha;    // 1
    QVariant usuario;  // 2
    QVariant turno;    // 3
    QVariant cabezas;  // 4
    QVariant litros;   // 5
    QVariant idRemoto; // 8
};

// One local detail row (positions 1-3).
struct Detail
{
    QVariant rodeo;
    QVariant cabezas;
    QVariant litros;
};

// A local value as it goes between apostrophes: its text (numbers with a
// point), then quoted.
QString quotedValue(const QVariant &value);
// Format(value, "yyyy-MM-dd"): dates and date texts; "" for Null.
QString isoDate(const QVariant &value);

// Ids in a statement: "1,2,3".
QString idList(const std::vector<qint64> &ids);

// --- download
// Every header of this client with the number of its detail lines, and the
// server's clock (seconds), in one statement; read from the client's own row
// outward, so that the answer always holds a row.
QString recordLinesSql(const QString &clientId);
// The headers of some of this client's records ("select *", ascending id).
QString headersByIdSql(const QString &clientId, const std::vector<qint64> &ids);
// ODBC mode ends the statement with a blank.
QString remoteDetailsSql(const QString &serverId, bool odbc);
QString remoteDetailsSql(const QString &serverId, RemoteWay way);
// Every server id this database holds.
QString heldServerIdsSql();

// --- upload: local reads and updates
QString pendingSql(const QString &proceso);
// What goes up as new records: pending additions, and pending changes of rows
// the server never had.
QString pendingAdditionsSql();
QString localReadingSql(qint64 localId);
QString localDetailsSql(const QVariant &localId);
// Only into a row that does not know its server id yet: a known id is never replaced.
QString storeRemoteIdSql(const QString &serverId, const QVariant &localId);
// The rows that reached the server, by local id.
QString markSentSql(const std::vector<qint64> &localIds);
QString deleteSentSql(const std::vector<qint64> &localIds);
// The herd lines of those of the readings that are gone: left behind, they
// would become the lines of a later reading given the same id.
QString deleteLinesOfDeletedSql(const std::vector<qint64> &localIds);

// --- upload: remote statements
// "('cliente','fecha','usuario','turno','cabezas','litros','id_prg'),"
QString headerGroup(const QString &clientId, const Header &header);
// " union all select id,'rodeo','cabezas','litros'"
QString detailGroup(qint64 serverId, const Detail &detail);
// The list's last character (the final comma) is dropped.
QString headerInsertSql(const QString &groups);
// Inserts the groups' lines, but never under a header that already holds
// lines when the statement runs (a late insert of an earlier run adds
// nothing), nor under one that is gone.
QString detailInsertSql(const QString &groups);
// This client's headers that have no details yet, with every value that was
// sent, so that each one can be matched to the reading it came from. Read
// from the client's own row outward: the answer always holds at least one row
// (all Null when there is no such header), so that an answer cut to nothing
// is never taken for "none". Each row also carries the client's highest
// server id: a header inserted after this read has a higher one.
QString unsentHeadersSql(const QString &clientId);
QString headerUpdateSql(const QString &clientId, const Header &header);
QString remoteDetailDeleteSql(const QVariant &serverId);
QString remoteHeaderDeleteSql(const QString &clientId, const QVariant &serverId);
// The detail rows of some of this client's records (the detail table's
// columns, then their header's: RecordOfLine), by id.
QString linesOfRecordsSql(const QString &clientId, const std::vector<qint64> &ids);
// A header of this client, only while it has no lines.
QString surplusHeaderDeleteSql(const QString &clientId, qint64 serverId);

// The columns of unsentHeadersSql.
namespace UnsentHeader {
inline const RemoteColumn Id{QStringLiteral("id"), 0};
inline const RemoteColumn IdPrg{QStringLiteral("id_prg"), 1};
inline const RemoteColumn Fecha{QStringLiteral("fecha"), 2};
inline const RemoteColumn Usuario{QStringLiteral("usuario"), 3};
inline const RemoteColumn Turno{QStringLiteral("turno"), 4};
inline const RemoteColumn TotalCabezas{QStringLiteral("total_cabezas"), 5};
inline const RemoteColumn TotalLitros{QStringLiteral("total_litros"), 6};
inline const RemoteColumn Top{QStringLiteral("tope"), 7};
} // namespace UnsentHeader

// The header's columns in a row of linesOfRecordsSql, after the detail's.
namespace RecordOfLine {
inline const RemoteColumn IdPrg{QStringLiteral("id_prg"), 5};
inline const RemoteColumn Fecha{QStringLiteral("fecha"), 6};
inline const RemoteColumn Usuario{QStringLiteral("usuario"), 7};
inline const RemoteColumn Turno{QStringLiteral("turno"), 8};
inline const RemoteColumn TotalCabezas{QStringLiteral("total_cabezas"), 9};
inline const RemoteColumn TotalLitros{QStringLiteral("total_litros"), 10};
} // namespace RecordOfLine

// The columns of recordLinesSql.
namespace RecordLines {
inline const RemoteColumn Id{QStringLiteral("id"), 0};
inline const RemoteColumn Lines{QStringLiteral("lineas"), 1};
inline const RemoteColumn Now{QStringLiteral("ahora"), 2};
} // namespace RecordLines

} // namespace zelvano::syncsql
