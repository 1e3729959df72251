#pragma once

// HTTPS for tests: certificates made at test time by openssl, and the
// reference server script in its strict mode. A TLS terminator in front of a
// server is a FaultProxy with a TlsIdentity.

#include "support/faultproxy.h"

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace zelvano::test {

// A test authority and server certificates, made once per test program in a
// folder of their own; throws std::runtime_error when openssl fails.
class TestCertificates
{
public:
    static const TestCertificates &get();

    // The test authority, as ZELVANO_CA_FILE names it.
    QString caFile() const { return m_dir.filePath(QStringLiteral("ca.pem")); }
    // For localhost and 127.0.0.1, signed by the test authority.
    TlsIdentity trusted() const { return identity("trusted"); }
    // The same names, signed by an authority nobody trusts.
    TlsIdentity untrusted() const { return identity("untrusted"); }
    // Signed by the test authority for another host name only.
    TlsIdentity otherHost() const { return identity("otherhost"); }

private:
    TestCertificates();
    TlsIdentity identity(const char *name) const;
    void openssl(const QString &command) const;
    void makeAuthority(const QString &name) const;
    void makeServer(const QString &name, const QString &authority, const QString &names) const;

    QTemporaryDir m_dir;
};

// /vremoto.php under PHP's built-in server on a free loopback port with
// ZELVANO_SERVER_STRICT=1, on the database of scripts/services.
class StrictServer
{
public:
    StrictServer();
    ~StrictServer();
    StrictServer(const StrictServer &) = delete;
    StrictServer &operator=(const StrictServer &) = delete;

    QString host() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }

private:
    QProcess m_process;
    int m_port = 0;
};

// Sets an environment variable for the life of the object.
class ScopedEnv
{
public:
    ScopedEnv(const char *name, const QByteArray &value);
    ~ScopedEnv();

private:
    const char *m_name;
    QByteArray m_old;
    bool m_had;
};

} // namespace zelvano::test
