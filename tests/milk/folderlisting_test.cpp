#include "common/error.h"
#include "platform/folderlisting.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace zelvano {
namespace {

void touch(const QString &path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

TEST(WildcardMatch, StarQuestionMarkAndLetterCase)
{
    EXPECT_TRUE(wildcardMatch("*.csv", "a.csv"));
    EXPECT_TRUE(wildcardMatch("*.csv", "A.CSV"));
    EXPECT_TRUE(wildcardMatch("ordene*.csv", "ORDENE_20260312.Csv"));
    EXPECT_TRUE(wildcardMatch("leche.csv", "Leche.csv"));
    EXPECT_TRUE(wildcardMatch("*.csv", ".csv"));
    EXPECT_TRUE(wildcardMatch("a?c.csv", "abc.csv"));
    EXPECT_TRUE(wildcardMatch("*a*b*.csv", "xxaxxbxx.csv"));
    EXPECT_FALSE(wildcardMatch("leche.csv", "leche2.csv"));
    EXPECT_FALSE(wildcardMatch("*.csv", "a.csv.bak"));
    EXPECT_FALSE(wildcardMatch("*.csv", "a.txt"));
    EXPECT_FALSE(wildcardMatch("a?c.csv", "ac.csv"));
    EXPECT_FALSE(wildcardMatch("ordene*.csv", "xordene.csv"));
    // Many stars against a long name that does not match ends quickly.
    EXPECT_FALSE(wildcardMatch(QString("*a").repeated(30) + "b", QString(5000, u'a')));
}

TEST(ListFolder, OrdinaryFilesByNameWithoutHiddenFilesOrFolders)
{
    QTemporaryDir dir;
    for (const char *name : {"b.csv", "A.csv", "c.CSV", ".hidden.csv", "notes.txt", "a2.csv"})
        touch(dir.filePath(name));
    QDir(dir.path()).mkdir("folder.csv");
    EXPECT_EQ(listFolder(dir.path(), "*.csv"), QStringList({"A.csv", "a2.csv", "b.csv", "c.CSV"}));
    EXPECT_EQ(listFolder(dir.path(), "A*.csv"), QStringList({"A.csv", "a2.csv"}));
    EXPECT_TRUE(listFolder(dir.path(), "none*.csv").isEmpty());
}

TEST(ListFolder, MissingFolderIsPathNotFound)
{
    QTemporaryDir dir;
    for (const QString &folder : {dir.filePath("missing"), QString()}) {
        try {
            listFolder(folder, "*.csv");
            FAIL() << "no error for " << folder.toStdString();
        } catch (const AppError &error) {
            EXPECT_EQ(error.number(), ErrNo::PathNotFound);
        }
    }
    touch(dir.filePath("plain"));
    EXPECT_THROW(listFolder(dir.filePath("plain"), "*"), AppError); // a file is no folder
}

} // namespace
} // namespace zelvano
