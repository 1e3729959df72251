#include "support/securetestsupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace zelvano::test {

namespace {

// Connects to a loopback port (port 0: binds a free one); the port, or 0.
int loopbackPort(int port, bool connectTo)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(quint16(port));
    socklen_t len = sizeof addr;
    const bool ok = connectTo
                        ? ::connect(fd, reinterpret_cast<sockaddr *>(&addr), len) == 0
                        : ::bind(fd, reinterpret_cast<sockaddr *>(&addr), len) == 0 &&
                              ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) == 0;
    ::close(fd);
    return ok ? ntohs(addr.sin_port) : 0;
}

} // namespace

const TestCertificates &TestCertificates::get()
{
    static const TestCertificates certificates;
    return certificates;
}

TestCertificates::TestCertificates()
{
    if (!m_dir.isValid())
        throw std::runtime_error("no folder for the test certificates");
    makeAuthority(QStringLiteral("ca"));
    makeAuthority(QStringLiteral("rogue-ca"));
    const QString local = QStringLiteral("DNS:localhost,IP:127.0.0.1");
    makeServer(QStringLiteral("trusted"), QStringLiteral("ca"), local);
    makeServer(QStringLiteral("untrusted"), QStringLiteral("rogue-ca"), local);
    makeServer(QStringLiteral("otherhost"), QStringLiteral("ca"),
               QStringLiteral("DNS:other.example"));
}

TlsIdentity TestCertificates::identity(const char *name) const
{
    return {m_dir.filePath(QLatin1String(name) + QStringLiteral(".pem")),
            m_dir.filePath(QLatin1String(name) + QStringLiteral(".key"))};
}

// One openssl command, its words separated by single blanks.
void TestCertificates::openssl(const QString &command) const
{
    QProcess p;
    p.setWorkingDirectory(m_dir.path());
    p.start(QStringLiteral("openssl"), command.split(u' '));
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        throw std::runtime_error(
            ("openssl " + command + " failed: " + QString::fromUtf8(p.readAllStandardError()))
                .toStdString());
}

void TestCertificates::makeAuthority(const QString &name) const
{
    openssl(QStringLiteral("req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
                           "-keyout %1.key -out %1.pem -days 2 -subj /CN=zelvano-test-%1")
                .arg(name));
}

void TestCertificates::makeServer(const QString &name, const QString &authority,
                                  const QString &names) const
{
    QFile ext(m_dir.filePath(name + QStringLiteral(".ext")));
    if (!ext.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot write a certificate extension file");
    ext.write("basicConstraints=CA:FALSE\nkeyUsage=digitalSignature,keyEncipherment\n"
              "extendedKeyUsage=serverAuth\nsubjectAltName=" +
              names.toLatin1() + "\n");
    ext.close();
    openssl(QStringLiteral("req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
                           "-keyout %1.key -out %1.csr -subj /CN=%1")
                .arg(name));
    openssl(QStringLiteral("x509 -req -in %1.csr -CA %2.pem -CAkey %2.key -CAcreateserial "
                           "-days 2 -extfile %1.ext -out %1.pem")
                .arg(name, authority));
}

StrictServer::StrictServer()
{
    m_port = loopbackPort(0, false);
    if (m_port == 0)
        throw std::runtime_error("no free loopback port for the strict server");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ZELVANO_SERVER_STRICT"), QStringLiteral("1"));
    m_process.setProcessEnvironment(env);
    // PHP's server logs every connection on stderr: not the test's business.
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(QProcess::nullDevice());
    m_process.start(QStringLiteral("php"), {QStringLiteral("-S"), host(), QStringLiteral("-t"),
                                            QStringLiteral(ZELVANO_SOURCE_DIR "/server")});
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 10000 && m_process.state() != QProcess::NotRunning) {
        if (loopbackPort(m_port, true) != 0)
            return;
        QThread::msleep(50);
    }
    throw std::runtime_error("the strict server did not listen within 10 s");
}

StrictServer::~StrictServer()
{
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

ScopedEnv::ScopedEnv(const char *name, const QByteArray &value)
    : m_name(name), m_old(qgetenv(name)), m_had(qEnvironmentVariableIsSet(name))
{
    qputenv(name, value);
}

ScopedEnv::~ScopedEnv()
{
    if (m_had)
        qputenv(m_name, m_old);
    else
        qunsetenv(m_name);
}

} // namespace zelvano::test
