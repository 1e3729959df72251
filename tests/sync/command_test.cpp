#include "support/childprocess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace zelvano {
namespace {

// A zero-byte database file is no database: the command says so in the
// connection's words and ends with a failure, without a crash and without
// going on to the server or writing into the file.
TEST(SyncCommand, ZeroByteDatabaseIsReported)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QString database = home.filePath(QStringLiteral("local.db"));
    QFile empty(database);
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    QFile connection(home.filePath(QStringLiteral("conexion.txt")));
    ASSERT_TRUE(connection.open(QIODevice::WriteOnly));
    connection.write(("Data Source= " + database).toUtf8());
    connection.close();

    test::ChildProcess child;
    child.start(QStringLiteral(ZELVANO_EXECUTABLE),
                {QStringLiteral("--home"), home.path(), QStringLiteral("sync")});
    ASSERT_TRUE(child.waitFinished(30000));
    EXPECT_FALSE(child.crashed());
    EXPECT_EQ(child.exitCode(), 1);
    EXPECT_TRUE(QString::fromUtf8(child.standardError())
                    .contains(QStringLiteral("El equipo remoto al que esta tratando de "
                                             "conectarse no esta disponible")))
        << child.standardError().toStdString();
    EXPECT_FALSE(child.standardOutput().contains("Remote statements"))
        << child.standardOutput().toStdString();
    EXPECT_EQ(QFileInfo(database).size(), 0);
}

} // namespace
} // namespace zelvano
