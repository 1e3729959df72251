#include "remote/remotetestsupport.h"

#include "common/vb.h"
#include "store/localconnection.h"
#include "store/tables.h"

#include <QFile>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace zelvano::test {

namespace {
// CTest does not source the services' env.sh: register their ODBC driver
// folder unless the caller named one.
const bool g_odbcIni = [] {
    if (qEnvironmentVariableIsEmpty("ODBCSYSINI"))
        qputenv("ODBCSYSINI", ZELVANO_SOURCE_DIR "/build/services/odbc");
    return true;
}();
} // namespace

QString RemotePeer::webHost()
{
    const QByteArray port = qgetenv("ZELVANO_WEB_PORT");
    return QStringLiteral("127.0.0.1:") + (port.isEmpty() ? QStringLiteral("8080")
                                                          : QString::fromLatin1(port));
}

void RemotePeer::requireServices()
{
    const QByteArray ini = qgetenv("ODBCSYSINI");
    if (ini.isEmpty() || !QFile::exists(QString::fromLocal8Bit(ini) + "/odbcinst.ini"))
        FAIL() << "ODBCSYSINI does not name the services' odbcinst.ini: run scripts/services start";
    try {
        WebRequest web;
        web.open(webUrl(webHost()));
        const WebAnswer answer = web.send(QStringLiteral("select 1 as uno"));
        if (answer.text != QLatin1String("[{\"uno\":\"1\"}]"))
            FAIL() << "the WEB peer answers " << answer.text.toStdString();
        OdbcConnection db(odbcConnectionString(odbcHost()));
    } catch (const AppError &e) {
        FAIL() << "remote services are not running (scripts/services start): " << e.what();
    }
}

bool RemotePeer::freshServer()
{
    requireServices();
    if (::testing::Test::HasFatalFailure())
        return false;
    reset();
    return true;
}

void RemotePeer::exec(const QString &sql)
{
    OdbcConnection db(odbcConnectionString(odbcHost()));
    db.execute(sql);
}

void RemotePeer::execAll(const QStringList &statements)
{
    OdbcConnection db(odbcConnectionString(odbcHost()));
    for (const QString &sql : statements)
        db.execute(sql);
}

QStringList RemotePeer::feedInserts(const QStringList &trips, const QStringList &loads,
                                    const QStringList &unloads)
{
    QStringList statements;
    if (!trips.isEmpty())
        statements << QStringLiteral("insert into lectura_viajes_feed values ") + trips.join(u',');
    if (!loads.isEmpty())
        statements << QStringLiteral("insert into lectura_carga_feed (id_viaje, id_alim, des_alim, "
                                     "cantidad, kg_sug, kg_real, hora, operario, id_tablet, "
                                     "nom_tablet, suceso) values ") +
                          loads.join(u',');
    if (!unloads.isEmpty())
        statements << QStringLiteral("insert into lectura_descarga_feed (id_viaje, id_rodeo, "
                                     "nom_rodeo, cabezas, categoria, actividad, corral, kg_sug, "
                                     "kg_real, hora, operario, id_tablet, nom_tablet, gps, suceso) "
                                     "values ") +
                          unloads.join(u',');
    return statements;
}

QVariant RemotePeer::scalar(const QString &sql)
{
    OdbcConnection db(odbcConnectionString(odbcHost()));
    OdbcResult rs = db.openRecordset(sql);
    return rs.eof() ? QVariant() : rs.value(0);
}

void RemotePeer::reloadSchema()
{
    QFile file(QStringLiteral(ZELVANO_SOURCE_DIR "/server/remote.sql"));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("server/remote.sql is missing");
    QStringList lines;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        const qsizetype comment = line.indexOf(QLatin1String("--"));
        lines << (comment >= 0 ? line.left(comment) : line);
    }
    QStringList statements;
    for (const QString &sql : lines.join(QLatin1Char('\n')).split(QLatin1Char(';'))) {
        if (!sql.trimmed().isEmpty())
            statements << sql;
    }
    execAll(statements);
    reset();
}

void RemotePeer::reset()
{
    execAll({QStringLiteral("delete from clientes"),
             QStringLiteral("delete from lectura_viajes_feed"),
             QStringLiteral("delete from lectura_carga_feed"),
             QStringLiteral("delete from lectura_descarga_feed"),
             QStringLiteral("delete from cabezas_produccion"),
             QStringLiteral("delete from detalle_cabezas_produccion"),
             QStringLiteral("insert into clientes (id, password, nombre) "
                            "values (12, 'secreto', 'Feedlot La Esperanza')")});
}

SilentServer::SilentServer()
{
    m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        ::listen(m_fd, 128) != 0)
        throw std::runtime_error("cannot listen on loopback");
    socklen_t len = sizeof addr;
    ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&addr), &len);
    m_port = ntohs(addr.sin_port);
}

SilentServer::~SilentServer()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

StoredTrips storedTrips(const QString &databasePath)
{
    struct Table
    {
        const char *name;
        int tripColumn;
        int keyColumn;
    };
    const Table tables[] = {{"lectura_viajes", LecturaViajes::Id, -1},
                            {"lectura_Carga", LecturaCarga::IdViaje, LecturaCarga::IdMod},
                            {"lectura_descarga", LecturaDescarga::IdViaje, LecturaDescarga::IdMod},
                            {"lectura_carga_detalle_conc", LecturaCargaDetalleConc::IdViaje,
                             LecturaCargaDetalleConc::IdMod}};
    LocalConnection db;
    db.open(databasePath);
    StoredTrips rows;
    for (const Table &t : tables) {
        Recordset rs = db.openRecordset(QStringLiteral("select * from ") + QLatin1String(t.name));
        for (; !rs.eof(); rs.moveNext()) {
            QStringList cells{QLatin1String(t.name)};
            for (int i = 0; i < rs.fieldCount(); ++i)
                if (i != t.keyColumn)
                    cells << (vb::isNull(rs.value(i)) ? QStringLiteral("<null>")
                                                      : vb::joinText(rs.value(i)));
            rows[vb::joinText(rs.value(t.tripColumn))] << cells.join(u'|');
        }
    }
    for (auto &[trip, list] : rows)
        list.sort();
    return rows;
}

StoredTrips onlyTrips(const StoredTrips &all, const QStringList &trips)
{
    StoredTrips part;
    for (const QString &trip : trips)
        if (all.count(trip))
            part[trip] = all.at(trip);
    return part;
}

int closedPort()
{
    // Bind a port, then release it: nothing listens there afterwards.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

} // namespace zelvano::test
