#pragma once

#include "childwait.h"
#include "common/vb.h"
#include "store/localconnection.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QMap>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>

namespace zelvano::test {

// A test home that the program runs on as a child process (the service or a
// one-shot command); the checks read its database from this process.
class ServiceHome : public TestHome
{
public:
    // Assignments of the company row ("modo_remoto = 'WEB', ...").
    void settings(const QString &assignments) const
    {
        exec(QStringLiteral("update mi_empresa set ") + assignments);
    }

    // Every row of a table in insertion order, its values joined by "|".
    QStringList rows(const QString &table) const
    {
        LocalConnection db;
        db.open(databasePath());
        Recordset rs = db.openRecordset(QStringLiteral("select * from ") + table +
                                        QStringLiteral(" order by rowid"));
        QStringList result;
        for (; !rs.eof(); rs.moveNext()) {
            QStringList values;
            for (int i = 0; i < rs.fieldCount(); ++i)
                values << (vb::isNull(rs.value(i)) ? QStringLiteral("<null>")
                                                   : vb::joinText(rs.value(i)));
            result << values.join(u'|');
        }
        return result;
    }

    // The rows of the tables a job stores into, table by table.
    QStringList stored(const QStringList &tables) const
    {
        QStringList all;
        for (const QString &table : tables) {
            all << QStringLiteral("== ") + table;
            all << rows(table);
        }
        return all;
    }

    // A count read while the program may be writing; nothing when the
    // database cannot be read right now.
    std::optional<int> count(const QString &sql) const
    {
        try {
            return scalar(sql).toInt();
        } catch (...) {
            return std::nullopt;
        }
    }

    bool countIs(const QString &sql, int expected) const
    {
        const std::optional<int> n = count(sql);
        return n && *n == expected;
    }

    QString exportFolder() const
    {
        QDir(dir()).mkpath(QStringLiteral("export"));
        return filePath(QStringLiteral("export"));
    }
};

// The environment of a service child: the minute shortened to ms.
inline QMap<QString, QString> shortMinute(int ms = 200)
{
    return {{QStringLiteral("ZELVANO_TICK_MS"), QString::number(ms)}};
}

// A loopback port with nothing listening on it: every connection is refused.
inline int refusedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr *>(&address), length);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// "PRAGMA integrity_check" of the database, read on a fresh connection.
inline QString integrity(const TestHome &home)
{
    return home.scalar(QStringLiteral("pragma integrity_check")).toString();
}

} // namespace zelvano::test
