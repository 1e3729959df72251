// What the import asks of the platform: whether a file is still held open for
// writing, and a rename that never replaces a file.

#include "milkhome.h"

#include "platform/filerename.h"
#include "platform/openwriters.h"

#include <QFile>
#include <QTemporaryDir>

namespace zelvano {
namespace {

TEST(OpenWriters, TheOpenModeOfAnOpenFile)
{
    EXPECT_TRUE(fdinfoOpenForWriting("pos:\t0\nflags:\t0100001\nmnt_id:\t25\n")); // write-only
    EXPECT_TRUE(
        fdinfoOpenForWriting("pos:\t0\nflags:\t02102002\nmnt_id:\t25\n")); // read-write, append
    EXPECT_FALSE(fdinfoOpenForWriting("pos:\t0\nflags:\t0100000\nmnt_id:\t25\n")); // read-only
    EXPECT_FALSE(fdinfoOpenForWriting(""));

    QTemporaryDir dir;
    const QString path = dir.filePath("f.csv");
    QFile writer(path);
    ASSERT_TRUE(writer.open(QIODevice::WriteOnly));
    SystemFileWriters writers;
    EXPECT_TRUE(writers.heldForWriting(path));
    // Through another name of the same file too.
    ASSERT_TRUE(QFile::link(path, dir.filePath("link.csv")));
    EXPECT_TRUE(writers.heldForWriting(dir.filePath("link.csv")));
    writer.close();
    EXPECT_FALSE(writers.heldForWriting(path));
    QFile reader(path);
    ASSERT_TRUE(reader.open(QIODevice::ReadOnly));
    EXPECT_FALSE(writers.heldForWriting(path));
    EXPECT_FALSE(writers.heldForWriting(dir.filePath("missing.csv")));
}

TEST(FileRename, NeverOverAnExistingFile)
{
    QTemporaryDir dir;
    auto write = [&](const QString &name, const QByteArray &bytes) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };
    write("a.csv", "a");
    write("b.csv", "b");
    QString reason;
    EXPECT_FALSE(renameNoReplace(dir.filePath("a.csv"), dir.filePath("b.csv"), &reason));
    EXPECT_FALSE(reason.isEmpty());
    QFile b(dir.filePath("b.csv"));
    ASSERT_TRUE(b.open(QIODevice::ReadOnly));
    EXPECT_EQ(b.readAll(), "b");
    EXPECT_TRUE(QFile::exists(dir.filePath("a.csv")));
    EXPECT_TRUE(renameNoReplace(dir.filePath("a.csv"), dir.filePath("c.csv")));
    EXPECT_FALSE(QFile::exists(dir.filePath("a.csv")));
    EXPECT_TRUE(QFile::exists(dir.filePath("c.csv")));
}

} // namespace
} // namespace zelvano
