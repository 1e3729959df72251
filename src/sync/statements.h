#pragma once

#include <QString>
#include <QVariant>

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

// --- download
QString maxRemoteIdSql();
QString newHeadersSql(const QString &clientId, qint64 threshold);
// ODBC mode ends the statement with a blank.
QString remoteDetailsSql(const QString &serverId, bool odbc);

// --- upload: local reads and updates
QString pendingSql(const QString &proceso);
QString localDetailsSql(const QVariant &localId);
QString storeRemoteIdSql(const QString &serverId, const QVariant &localId);
QString markSentSql(const QString &proceso);
QString deleteSentSql();

// --- upload: remote statements
// "('cliente','fecha','usuario','turno','cabezas','litros','id_prg'),"
QString headerGroup(const QString &clientId, const Header &header);
// "('id','rodeo','cabezas','litros'),"
QString detailGroup(const QString &serverId, const Detail &detail);
// The list's last character (the final comma) is dropped.
QString headerInsertSql(const QString &groups);
QString detailInsertSql(const QString &groups);
QString headersWithoutDetailsSql(const QString &clientId);
QString headerUpdateSql(const QString &clientId, const Header &header);
QString remoteDetailDeleteSql(const QVariant &serverId);
QString remoteHeaderDeleteSql(const QString &clientId, const QVariant &serverId);

} // namespace zelvano::syncsql
