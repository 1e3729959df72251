#pragma once

#include "remote/odbc.h"
#include "remote/remote.h"
#include "remote/webrequest.h"

#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace zelvano::test {

// The reference server of scripts/services: host texts for both ways and a
// direct ODBC connection for seeding and checking remote rows.
struct RemotePeer
{
    static QString webHost();               // "127.0.0.1:<ZELVANO_WEB_PORT or 8080>"
    static QString odbcHost() { return QStringLiteral("127.0.0.1"); }

    // Fails the test (never skips) when the services are not running.
    static void requireServices();
    // requireServices, then reset: false (the test failed) when the services are not running.
    static bool freshServer();

    // Empties every remote table and registers client 12 with password "secreto".
    static void reset();
    // Drops and creates the remote tables again (after a test altered one).
    static void reloadSchema();
    static void exec(const QString &sql);
    static void execAll(const QStringList &statements);
    // The inserts of a farm's feed: trips, their loads and their unloads, each
    // list of "(...)" value rows in the tables' column order.
    static QStringList feedInserts(const QStringList &trips, const QStringList &loads,
                                   const QStringList &unloads);
    static QVariant scalar(const QString &sql);
};

// A listening socket on loopback that never accepts or answers: the kernel
// completes the connection, the request goes into the buffer, nothing comes back.
class SilentServer
{
public:
    SilentServer();
    ~SilentServer();
    int port() const { return m_port; }

private:
    int m_fd = -1;
    int m_port = 0;
};

// A loopback port with nothing listening on it.
int closedPort();

// Every row of the local trip tables (trips, loads, unloads, concentrate
// breakdown), by trip id, each as one text, sorted; without the keys the
// database gives, which follow the order of the saves rather than what was
// saved. Two runs that stored the same trips compare equal.
using StoredTrips = std::map<QString, QStringList>;
StoredTrips storedTrips(const QString &databasePath);
// The part of the rows that belongs to the given trips.
StoredTrips onlyTrips(const StoredTrips &all, const QStringList &trips);

} // namespace zelvano::test
