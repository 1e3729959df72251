#include "synctestsupport.h"

#include "common/datetexts.h"
#include "common/vb.h"
#include "remote/odbc.h"
#include "remote/remote.h"
#include "remote/webrequest.h"
#include "store/localconnection.h"
#include "support/childprocess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

namespace zelvano::test {

namespace {

QString quoted(const QString &text)
{
    QString out = text;
    out.replace(u'\'', QStringLiteral("''"));
    return out;
}

QString cell(const QVariant &v)
{
    if (v.typeId() == QMetaType::QDate)
        return DateTexts::date(v.toDate());
    if (v.typeId() == QMetaType::Double)
        return vb::numberText(v.toDouble());
    return vb::joinText(v);
}

QStringList remoteRows(const QString &sql)
{
    OdbcConnection db(odbcConnectionString(RemotePeer::odbcHost()));
    OdbcResult rs = db.openRecordset(sql);
    QStringList rows;
    for (; !rs.eof(); rs.moveNext()) {
        QStringList cells;
        for (int i = 0; i < rs.columnCount(); ++i)
            cells << cell(rs.value(i));
        rows << cells.join(u'|');
    }
    return rows;
}

} // namespace

int clientIdForCurrentTest()
{
    const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = std::string(info->test_suite_name()) + "." + info->name();
    quint32 h = 2166136261u;
    for (unsigned char c : name)
        h = (h ^ c) * 16777619u;
    return int(1000 + h % 900000);
}

RemoteFarm::RemoteFarm(int clientId, const QString &password) : m_clientId(clientId)
{
    RemotePeer::exec(
        QStringLiteral("replace into clientes (id, password, nombre) values (%1, '%2', "
                       "'Tambo de prueba')")
            .arg(clientId)
            .arg(sqlQuote(password)));
    clear();
}

RemoteFarm::~RemoteFarm()
{
    try {
        clear();
        RemotePeer::exec(QStringLiteral("delete from clientes where id = %1").arg(m_clientId));
    } catch (...) {
    }
}

void RemoteFarm::clear() const
{
    RemotePeer::execAll(
        {QStringLiteral("delete from detalle_cabezas_produccion where id in (select id from "
                        "cabezas_produccion where cliente = %1)")
             .arg(m_clientId),
         QStringLiteral("delete from cabezas_produccion where cliente = %1").arg(m_clientId)});
}

int RemoteFarm::headerCount() const
{
    return RemotePeer::scalar(
               QStringLiteral("select count(*) from cabezas_produccion where cliente = %1")
                   .arg(m_clientId))
        .toInt();
}

int RemoteFarm::detailCount() const
{
    return RemotePeer::scalar(
               QStringLiteral("select count(*) from detalle_cabezas_produccion d join "
                              "cabezas_produccion c on c.id = d.id where c.cliente = %1")
                   .arg(m_clientId))
        .toInt();
}

int RemoteFarm::detailCount(qint64 serverId) const
{
    return RemotePeer::scalar(
               QStringLiteral("select count(*) from detalle_cabezas_produccion where id = %1")
                   .arg(serverId))
        .toInt();
}

QStringList RemoteFarm::headers() const
{
    return remoteRows(
        QStringLiteral("select fecha, usuario, turno, total_cabezas, total_litros from "
                       "cabezas_produccion where cliente = %1 order by id")
            .arg(m_clientId));
}

QStringList RemoteFarm::details(qint64 serverId) const
{
    return remoteRows(
        QStringLiteral("select rodeo, cabezas, litros from detalle_cabezas_produccion "
                       "where id = %1 order by id_detalle")
            .arg(serverId));
}

QStringList RemoteFarm::records() const
{
    const QStringList ids = remoteRows(
        QStringLiteral("select id from cabezas_produccion where cliente = %1 order by id")
            .arg(m_clientId));
    const QStringList heads = headers();
    QStringList out;
    for (qsizetype i = 0; i < ids.size() && i < heads.size(); ++i) {
        QStringList lines = details(ids[i].toLongLong());
        lines.sort();
        out << heads[i] + u'#' + lines.join(u';');
    }
    out.sort();
    return out;
}

qint64 RemoteFarm::addRecord(const QString &fecha, const QString &usuario, const QString &turno,
                             int cabezas, double litros, qint64 idPrg,
                             const QStringList &detailGroups)
{
    OdbcConnection db(odbcConnectionString(RemotePeer::odbcHost()));
    db.execute(
        QStringLiteral("insert into cabezas_produccion (cliente, fecha, usuario, turno, "
                       "total_cabezas, total_litros, id_prg) values (%1, '%2', '%3', '%4', %5, "
                       "%6, %7)")
            .arg(m_clientId)
            .arg(fecha, sqlQuote(usuario), sqlQuote(turno))
            .arg(cabezas)
            .arg(vb::numberText(litros))
            .arg(idPrg));
    OdbcResult rs = db.openRecordset(QStringLiteral("select max(id) from cabezas_produccion where "
                                                    "cliente = %1")
                                         .arg(m_clientId));
    const qint64 id = rs.value(0).toLongLong();
    for (const QString &group : detailGroups)
        db.execute(
            QStringLiteral("insert into detalle_cabezas_produccion (id, rodeo, cabezas, litros) "
                           "values (%1, %2)")
                .arg(id)
                .arg(group));
    return id;
}

Site::Site(const RemoteFarm &farm, const QString &mode, const QString &password)
{
    const QString host =
        mode == QLatin1String("ODBC") ? RemotePeer::odbcHost() : RemotePeer::webHost();
    home.exec(
        QStringLiteral("update mi_empresa set id_cliente_remoto = '%1', servidor_remoto = '%2', "
                       "password_remoto = '%3', modo_remoto = '%4'")
            .arg(farm.id(), host, quoted(password), mode));
    home.connect();
}

qint64 Site::addReading(const QString &fecha, const QString &usuario, const QString &turno,
                        int cabezas, double litros, const std::vector<Herd> &herds,
                        const QString &proceso, bool actualizado, const QVariant &idRemoto)
{
    LocalConnection db;
    db.open(home.databasePath());
    db.execute(
        QStringLiteral("insert into Produccion_Lactea (fecha, usuario, turno, total_cabezas, "
                       "total_litros, actualizado, proceso, id_remoto) values ('%1', '%2', "
                       "'%3', %4, %5, %6, '%7', %8)")
            .arg(fecha, quoted(usuario), quoted(turno))
            .arg(cabezas)
            .arg(vb::numberText(litros),
                 actualizado ? QStringLiteral("true") : QStringLiteral("false"), proceso,
                 vb::isNull(idRemoto) ? QStringLiteral("null") : vb::joinText(idRemoto)));
    Recordset rs = db.openRecordset(QStringLiteral("select max(id) from Produccion_Lactea"));
    const qint64 id = rs.value(0).toLongLong();
    for (const Herd &h : herds)
        db.execute(
            QStringLiteral("insert into detalle_Produccion_Lactea (id, Rodeo, cabezas, litros) "
                           "values (%1, '%2', %3, %4)")
                .arg(id)
                .arg(quoted(h.rodeo), vb::numberText(h.cabezas), vb::numberText(h.litros)));
    return id;
}

SyncReport Site::sync(bool silent)
{
    return Sincronizar_CabProd(home.ctx, silent, options);
}

void Site::useHost(const QString &host)
{
    home.exec(QStringLiteral("update mi_empresa set servidor_remoto = '%1'").arg(host));
    home.ctx.settings.ServerHost = host;
}

int Site::syncCommand() const
{
    ChildProcess child;
    child.start(QStringLiteral(ZELVANO_EXECUTABLE),
                {QStringLiteral("--home"), home.dir(), QStringLiteral("sync")});
    if (!child.waitFinished(60000))
        return -1;
    return child.crashed() ? -1 : child.exitCode();
}

int Site::pendingCount() const
{
    return home
        .scalar(QStringLiteral("select count(*) from Produccion_Lactea where actualizado = false"))
        .toInt();
}

QStringList Site::records() const
{
    std::vector<std::pair<qint64, QString>> heads;
    {
        LocalConnection db;
        db.open(home.databasePath());
        Recordset rs =
            db.openRecordset(QStringLiteral("select id, fecha, usuario, turno, total_cabezas, "
                                            "total_litros from Produccion_Lactea"));
        for (; !rs.eof(); rs.moveNext()) {
            QStringList cells;
            for (int i = 1; i < 6; ++i)
                cells << cell(rs.value(i));
            heads.emplace_back(rs.value(0).toLongLong(), cells.join(u'|'));
        }
    }
    QStringList out;
    for (const auto &[id, head] : heads) {
        QStringList lines = details(id);
        lines.sort();
        out << head + u'#' + lines.join(u';');
    }
    out.sort();
    return out;
}

QStringList Site::details(qint64 localId) const
{
    LocalConnection db;
    db.open(home.databasePath());
    Recordset rs = db.openRecordset(
        QStringLiteral("select Rodeo, cabezas, litros from detalle_Produccion_Lactea where id = %1")
            .arg(localId));
    QStringList rows;
    for (; !rs.eof(); rs.moveNext())
        rows << QStringList{cell(rs.value(0)), cell(rs.value(1)), cell(rs.value(2))}.join(u'|');
    return rows;
}

QString Site::proceso(qint64 localId) const
{
    return home
        .scalar(QStringLiteral("select proceso from Produccion_Lactea where id = %1").arg(localId))
        .toString();
}

bool Site::actualizado(qint64 localId) const
{
    return home
        .scalar(
            QStringLiteral("select actualizado from Produccion_Lactea where id = %1").arg(localId))
        .toBool();
}

QVariant Site::idRemoto(qint64 localId) const
{
    return home.scalar(
        QStringLiteral("select id_remoto from Produccion_Lactea where id = %1").arg(localId));
}

int Site::readingCount() const
{
    return home.scalar(QStringLiteral("select count(*) from Produccion_Lactea")).toInt();
}

QStringList Site::readings() const
{
    LocalConnection db;
    db.open(home.databasePath());
    Recordset rs = db.openRecordset(QStringLiteral(
        "select fecha, usuario, turno, total_cabezas, total_litros from Produccion_Lactea"));
    QStringList rows;
    for (; !rs.eof(); rs.moveNext()) {
        QStringList cells;
        for (int i = 0; i < 5; ++i)
            cells << cell(rs.value(i));
        rows << cells.join(u'|');
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

Scenario::Scenario(RemoteFarm &farm, Site &site) : m_farm(farm), m_site(site)
{
    const QString zelvano = QStringLiteral("Zelvano");
    const qint64 changed =
        site.addReading(QStringLiteral("11/03/2026"), zelvano, QStringLiteral("Delpro"), 50, 1000,
                        {{QStringLiteral("1"), 30, 600}, {QStringLiteral("2"), 20, 400}});
    const qint64 deleted =
        site.addReading(QStringLiteral("12/03/2026"), zelvano, QStringLiteral("Delpro"), 10, 200,
                        {{QStringLiteral("3"), 10, 200}});
    const SyncReport first = site.sync();
    if (!first.ok() || site.pendingCount() != 0)
        throw std::runtime_error("the scenario's first synchronisation failed: " +
                                 first.errorText().toStdString());

    site.home.exec(QStringLiteral("update Produccion_Lactea set total_litros = 1010, proceso = "
                                  "'MODIFICAR', actualizado = false where id = %1")
                       .arg(changed));
    site.home.exec(QStringLiteral("update detalle_Produccion_Lactea set litros = 610 where id = %1 "
                                  "and Rodeo = '1'")
                       .arg(changed));
    site.home.exec(QStringLiteral("update Produccion_Lactea set proceso = 'ELIMINAR', actualizado "
                                  "= false where id = %1")
                       .arg(deleted));
    site.addReading(QStringLiteral("13/03/2026"), zelvano, QStringLiteral("Delpro"), 61, 1230,
                    {{QStringLiteral("1"), 31, 630}, {QStringLiteral("2"), 30, 600}});
    site.addReading(QStringLiteral("13/03/2026"), zelvano, QStringLiteral("Dairycomp"), 35, 700,
                    {{QStringLiteral("1"), 20, 400.5}, {QStringLiteral("2"), 15, 299.5}});
    site.addReading(QStringLiteral("14/03/2026"), zelvano, QStringLiteral("Delpro"), 58, 1190,
                    {{QStringLiteral("1"), 29, 595.25}, {QStringLiteral("2"), 29, 594.75}});
    farm.addRecord(QStringLiteral("2026-03-05"), QStringLiteral("Sitio B"),
                   QStringLiteral("Delpro"), 40, 4346, 1, {QStringLiteral("'3', 40, 4345.5")});
    farm.addRecord(QStringLiteral("2026-03-06"), QStringLiteral("Sitio B"),
                   QStringLiteral("Dairycomp"), 20, 300, 2, {QStringLiteral("'4', 20, 300")});
}

QStringList Scenario::expectedReadings()
{
    return {QStringLiteral("05/03/2026|Sitio B|Delpro|40|4346"),
            QStringLiteral("06/03/2026|Sitio B|Dairycomp|20|300"),
            QStringLiteral("11/03/2026|Zelvano|Delpro|50|1010"),
            QStringLiteral("13/03/2026|Zelvano|Dairycomp|35|700"),
            QStringLiteral("13/03/2026|Zelvano|Delpro|61|1230"),
            QStringLiteral("14/03/2026|Zelvano|Delpro|58|1190")};
}

namespace {

// Every reading of a site has its server id, and the server holds exactly
// its detail rows under it.
void expectDetailsOnServer(const Site &site, const RemoteFarm &farm)
{
    LocalConnection db;
    db.open(site.home.databasePath());
    Recordset rs = db.openRecordset(QStringLiteral("select id, id_remoto from Produccion_Lactea"));
    for (; !rs.eof(); rs.moveNext()) {
        const qint64 localId = rs.value(0).toLongLong();
        ASSERT_FALSE(vb::isNull(rs.value(1))) << "reading " << localId << " has no server id";
        EXPECT_EQ(site.details(localId), farm.details(rs.value(1).toLongLong()))
            << "reading " << localId;
    }
}

} // namespace

void Scenario::expectConverged() const
{
    const QStringList expected = expectedReadings();
    EXPECT_EQ(m_site.readings(), expected);
    EXPECT_EQ(m_site.pendingCount(), 0);
    EXPECT_EQ(
        m_site.value(QStringLiteral("select count(distinct id_remoto) from Produccion_Lactea"))
            .toInt(),
        expected.size());
    EXPECT_EQ(m_site
                  .value(QStringLiteral("select count(*) from detalle_Produccion_Lactea d where "
                                        "d.id in (select id from Produccion_Lactea)"))
                  .toInt(),
              kDetails);
    QStringList onServer = m_farm.headers();
    std::sort(onServer.begin(), onServer.end());
    EXPECT_EQ(onServer, expected);
    EXPECT_EQ(m_farm.detailCount(), kDetails);
    expectDetailsOnServer(m_site, m_farm);

    // A second site receives each reading exactly once.
    Site second(m_farm, QStringLiteral("ODBC"));
    const SyncReport report = second.sync();
    EXPECT_TRUE(report.ok()) << report.errorText().toStdString();
    EXPECT_EQ(report.recordsDownloaded, expected.size());
    EXPECT_EQ(second.readings(), expected);
    EXPECT_EQ(
        second.value(QStringLiteral("select count(*) from detalle_Produccion_Lactea")).toInt(),
        kDetails);
    expectDetailsOnServer(second, m_farm);
    EXPECT_EQ(second.sync().recordsDownloaded, 0);
    EXPECT_EQ(second.readingCount(), expected.size());
}

int Scenario::convergeByCommand(int runs) const
{
    for (int run = 1; run <= runs; ++run)
        if (m_site.syncCommand() == 0)
            return run;
    return runs + 1;
}

int Scenario::convergeInProcess(int runs) const
{
    for (int run = 1; run <= runs; ++run)
        if (m_site.sync().ok())
            return run;
    return runs + 1;
}

QStringList statementsStartingWith(const SyncReport &report, const QString &start)
{
    QStringList out;
    for (const QString &sql : report.remoteStatements)
        if (sql.startsWith(start))
            out << sql;
    return out;
}

} // namespace zelvano::test
