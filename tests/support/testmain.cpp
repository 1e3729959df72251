// The main of every test executable: the environment the tests expect is set
// here, before anything reads it, so that it holds however the test is started.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QtGlobal>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char **argv)
{
    // "K=V;K=V" pairs given to zelvano_add_test.
    const QList<QByteArray> pairs = QByteArray(ZELVANO_TEST_ENVIRONMENT).split(';');
    for (const QByteArray &pair : pairs) {
        const int eq = pair.indexOf('=');
        if (eq > 0)
            qputenv(pair.left(eq).constData(), pair.mid(eq + 1));
    }
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString runtime = QDir::temp().filePath(QStringLiteral("zelvano-test-runtime"));
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
