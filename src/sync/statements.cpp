#include "sync/statements.h"

#include "common/datetexts.h"
#include "common/vb.h"
#include "remote/remote.h"

#include <QDate>
#include <QDateTime>

namespace zelvano::syncsql {

QString quotedValue(const QVariant &value)
{
    return sqlQuote(vb::joinText(value));
}

QString isoDate(const QVariant &value)
{
    if (vb::isNull(value))
        return QString();
    static const QString mask = QStringLiteral("yyyy-MM-dd");
    switch (value.typeId()) {
    case QMetaType::QDate:
        return value.toDate().toString(mask);
    case QMetaType::QDateTime:
        return value.toDateTime().date().toString(mask);
    default: {
        // A text that reads as a date is formatted; any other text stays as it is.
        const QString text = value.toString();
        const QDate d = DateTexts::parseDate(text.section(u' ', 0, 0));
        return d.isValid() ? d.toString(mask) : text;
    }
    }
}

QString idList(const std::vector<qint64> &ids)
{
    QString text;
    text.reserve(qsizetype(ids.size()) * 8);
    for (const qint64 id : ids) {
        if (!text.isEmpty())
            text += u',';
        text += QString::number(id);
    }
    return text;
}

QString recordLinesSql(const QString &clientId)
{
    return QStringLiteral("select c.id, count(d.id) as lineas, unix_timestamp() as ahora from "
                          "clientes k left join cabezas_produccion c on c.cliente = k.id left "
                          "join detalle_cabezas_produccion d on d.id = c.id where k.id = ") +
           clientId + QStringLiteral(" group by c.id");
}

QString headersByIdSql(const QString &clientId, const std::vector<qint64> &ids)
{
    return QStringLiteral("select * from cabezas_produccion where cliente = ") + clientId +
           QStringLiteral(" and id in (") + idList(ids) + QStringLiteral(") order by id");
}

QString heldServerIdsSql()
{
    return QStringLiteral("select id_remoto from Produccion_Lactea where id_remoto is not null");
}

QString remoteDetailsSql(const QString &serverId, bool odbc)
{
    return QStringLiteral("select * from detalle_cabezas_produccion where id = ") + serverId +
           (odbc ? QStringLiteral(" ") : QString());
}

QString remoteDetailsSql(const QString &serverId, RemoteWay way)
{
    return remoteDetailsSql(serverId, way == RemoteWay::Odbc);
}

QString pendingSql(const QString &proceso)
{
    return QStringLiteral(
               "select * from Produccion_Lactea where actualizado = false and proceso = '") +
           proceso + QStringLiteral("'");
}

QString pendingAdditionsSql()
{
    return QStringLiteral(
        "select * from Produccion_Lactea where actualizado = false and (proceso = 'AGREGAR' or "
        "(proceso = 'MODIFICAR' and id_remoto is null)) order by id");
}

QString localReadingSql(qint64 localId)
{
    return QStringLiteral("select * from Produccion_Lactea where id = ") + QString::number(localId);
}

QString localDetailsSql(const QVariant &localId)
{
    return QStringLiteral("select * from detalle_Produccion_Lactea where id = ") +
           vb::joinText(localId);
}

QString storeRemoteIdSql(const QString &serverId, const QVariant &localId)
{
    return QStringLiteral("update Produccion_Lactea set id_remoto = ") + serverId +
           QStringLiteral(" where id = ") + vb::joinText(localId) +
           QStringLiteral(" and id_remoto is null");
}

QString markSentSql(const std::vector<qint64> &localIds)
{
    return QStringLiteral(
               "update Produccion_Lactea set actualizado = true where actualizado = false and id "
               "in (") +
           idList(localIds) + QStringLiteral(")");
}

QString deleteSentSql(const std::vector<qint64> &localIds)
{
    return QStringLiteral("DELETE FROM Produccion_Lactea where actualizado = false and proceso = "
                          "'ELIMINAR' and id in (") +
           idList(localIds) + QStringLiteral(")");
}

QString deleteLinesOfDeletedSql(const std::vector<qint64> &localIds)
{
    return QStringLiteral("delete from detalle_Produccion_Lactea where id in (") +
           idList(localIds) + QStringLiteral(") and id not in (select id from Produccion_Lactea)");
}

QString headerGroup(const QString &clientId, const Header &h)
{
    return QStringLiteral("('") + sqlQuote(clientId) + QStringLiteral("','") +
           sqlQuote(isoDate(h.fecha)) + QStringLiteral("','") + quotedValue(h.usuario) +
           QStringLiteral("','") + quotedValue(h.turno) + QStringLiteral("','") +
           quotedValue(h.cabezas) + QStringLiteral("','") + quotedValue(h.litros) +
           QStringLiteral("','") + quotedValue(h.id) + QStringLiteral("'),");
}

QString detailGroup(qint64 serverId, const Detail &d)
{
    return QStringLiteral(" union all select ") + QString::number(serverId) + QStringLiteral(",'") +
           quotedValue(d.rodeo) + QStringLiteral("','") + quotedValue(d.cabezas) +
           QStringLiteral("','") + quotedValue(d.litros) + QStringLiteral("'");
}

QString headerInsertSql(const QString &groups)
{
    return QStringLiteral("INSERT INTO cabezas_produccion (cliente, fecha, usuario, turno, "
                          "total_cabezas, total_litros, id_prg) values ") +
           groups.chopped(1);
}

QString detailInsertSql(const QString &groups)
{
    // The first branch only names the columns. The guards are part of the
    // insert itself: a header that holds lines when the statement runs gets
    // none, nor does one deleted meanwhile.
    return QStringLiteral("INSERT INTO detalle_cabezas_produccion (id, rodeo, cabezas, litros) "
                          "select v.id, v.rodeo, v.cabezas, v.litros from (select 0 as id, '' as "
                          "rodeo, '' as cabezas, '' as litros from dual where 1 = 0") +
           groups +
           QStringLiteral(") v where not exists (select 1 from detalle_cabezas_produccion x "
                          "where x.id = v.id) and exists (select 1 from cabezas_produccion c "
                          "where c.id = v.id)");
}

QString unsentHeadersSql(const QString &clientId)
{
    return QStringLiteral("select c.id, c.id_prg, c.fecha, c.usuario, c.turno, c.total_cabezas, "
                          "c.total_litros, (select max(id) from cabezas_produccion where cliente = "
                          "k.id) as tope "
                          "from clientes k left join cabezas_produccion c on "
                          "c.cliente = k.id and c.id not in (select id from "
                          "detalle_cabezas_produccion) where k.id = ") +
           clientId;
}

QString headerUpdateSql(const QString &clientId, const Header &h)
{
    return QStringLiteral("update cabezas_produccion set fecha = '") + sqlQuote(isoDate(h.fecha)) +
           QStringLiteral("', usuario = '") + quotedValue(h.usuario) +
           QStringLiteral("', turno = '") + quotedValue(h.turno) +
           QStringLiteral("', total_cabezas = '") + quotedValue(h.cabezas) +
           QStringLiteral("', total_litros = '") + quotedValue(h.litros) +
           QStringLiteral("' where cliente = ") + clientId + QStringLiteral(" and id = ") +
           vb::joinText(h.idRemoto);
}

QString remoteDetailDeleteSql(const QVariant &serverId)
{
    return QStringLiteral("delete from detalle_cabezas_produccion where id = ") +
           vb::joinText(serverId);
}

QString linesOfRecordsSql(const QString &clientId, const std::vector<qint64> &ids)
{
    return QStringLiteral("select d.id, d.rodeo, d.cabezas, d.litros, d.id_detalle, c.id_prg, "
                          "c.fecha, c.usuario, c.turno, c.total_cabezas, c.total_litros from "
                          "detalle_cabezas_produccion d join cabezas_produccion c on c.id = d.id "
                          "where c.cliente = ") +
           clientId + QStringLiteral(" and d.id in (") + idList(ids) +
           QStringLiteral(") order by d.id");
}

QString surplusHeaderDeleteSql(const QString &clientId, qint64 serverId)
{
    return QStringLiteral("DELETE FROM cabezas_produccion where cliente = ") + clientId +
           QStringLiteral(" and id = ") + QString::number(serverId) +
           QStringLiteral(" and id not in (select id from detalle_cabezas_produccion)");
}

QString remoteHeaderDeleteSql(const QString &clientId, const QVariant &serverId)
{
    return QStringLiteral("DELETE FROM cabezas_produccion where cliente = ") + clientId +
           QStringLiteral(" and id = ") + vb::joinText(serverId);
}

} // namespace zelvano::syncsql
