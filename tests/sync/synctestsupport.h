#pragma once

#include "remote/remotetestsupport.h"
#include "support/testsupport.h"
#include "sync/sync.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <vector>

namespace zelvano::test {

// One farm on the shared server: its own client id (so that cases do not see
// each other's rows), registered with a password, its production rows removed.
class RemoteFarm
{
public:
    explicit RemoteFarm(int clientId, const QString &password = QStringLiteral("secreto"));
    ~RemoteFarm();

    int clientId() const { return m_clientId; }
    QString id() const { return QString::number(m_clientId); }

    // Server rows of this farm.
    int headerCount() const;
    int detailCount() const;
    int detailCount(qint64 serverId) const;
    // The headers as "fecha|usuario|turno|total_cabezas|total_litros", in id order.
    QStringList headers() const;
    // The details of one header as "rodeo|cabezas|litros", in insertion order.
    QStringList details(qint64 serverId) const;
    // Every record as "header#line;line" (lines and records sorted).
    QStringList records() const;
    // Adds a header (and details) as another site would; returns the server id.
    qint64 addRecord(const QString &fecha, const QString &usuario, const QString &turno,
                     int cabezas, double litros, qint64 idPrg,
                     const QStringList &detailGroups = {});

    void clear() const;

private:
    int m_clientId;
};

struct Herd
{
    QString rodeo;
    double cabezas;
    double litros;
};

// One local database of the farm with the settings pointing at the server in
// the given mode, connected.
class Site
{
public:
    Site(const RemoteFarm &farm, const QString &mode,
         const QString &password = QStringLiteral("secreto"));

    TestHome home;

    // A local reading as the import stores it; returns its local id.
    qint64 addReading(const QString &fecha, const QString &usuario, const QString &turno,
                      int cabezas, double litros, const std::vector<Herd> &herds,
                      const QString &proceso = QStringLiteral("AGREGAR"), bool actualizado = false,
                      const QVariant &idRemoto = QVariant());

    SyncReport sync(bool silent = false);
    // Points the settings row and the loaded settings at another server host
    // (a fault proxy).
    void useHost(const QString &host);
    // "zelvano --home <dir> sync" run as a child process: its exit code (-1
    // when it did not end within a minute).
    int syncCommand() const;
    // The limits the site's synchronisations run with.
    RemoteOptions options = RemoteOptions::synchronisation();

    QVariant value(const QString &sql) const { return home.scalar(sql); }
    QString proceso(qint64 localId) const;
    bool actualizado(qint64 localId) const;
    QVariant idRemoto(qint64 localId) const;
    int readingCount() const;
    // Readings not marked sent.
    int pendingCount() const;
    // One reading's detail rows as "rodeo|cabezas|litros", in order.
    QStringList details(qint64 localId) const;
    // Every reading as the server's records() gives them.
    QStringList records() const;
    // The readings as "fecha|usuario|turno|total_cabezas|total_litros", sorted.
    QStringList readings() const;
    QStringList events() const { return eventTexts(home); }
};

// A farm's synchronisation with something of every kind to move: two
// readings sent earlier, one changed and one deleted since, three new readings,
// and two complete records of another site to come down. What a run without
// faults leaves is known exactly.
class Scenario
{
public:
    // Sends the first two readings (a run without faults), then prepares the rest.
    Scenario(RemoteFarm &farm, Site &site);

    // Checks the site, the server, and a second site that synchronises once,
    // against the state a run without faults leaves: every reading exactly
    // once, with its details, nothing pending.
    void expectConverged() const;
    // Runs "zelvano sync" until it succeeds (at most `runs` times); the runs it took.
    int convergeByCommand(int runs = 3) const;
    // The same, in this process.
    int convergeInProcess(int runs = 3) const;

    static QStringList expectedReadings();
    static constexpr int kDetails = 10; // detail rows of the expected readings

private:
    RemoteFarm &m_farm;
    Site &m_site;
};

// Remote statements of a report that begin with a text (case-sensitive).
QStringList statementsStartingWith(const SyncReport &report, const QString &start);

// A stable client id per test case, so that cases that run side by side
// never share a farm.
int clientIdForCurrentTest();

} // namespace zelvano::test

// Readable texts in test failures.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}
