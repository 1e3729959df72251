// The database refuses the import: held by another writer for longer than the
// busy time-out, read-only, full. The file waits under its own name, nothing
// of it is stored, and the next scan imports it once.

#include "milkfarm.h"

#include "milk/import.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>

#include <sys/mount.h>

#include <cerrno>
#include <cstring>

namespace zelvano {
namespace {

using test::MilkFarm;

const char *const kTables[] = {"Produccion_Lactea", "detalle_Produccion_Lactea",
                               "lectura_viajes",    "lectura_descarga",
                               "lectura_Carga",     "zelvano_lecturas"};

int count(const QString &database, const QString &table)
{
    LocalConnection db;
    db.open(database);
    return db.openRecordset("select count(*) from " + table).value(0).toInt();
}

// Nothing of the file is stored, and the file waits under its own name.
void expectWaiting(const MilkFarm &farm, const QString &database, const ImportOutcome &outcome)
{
    const QString name = farm.files().front().name;
    EXPECT_TRUE(outcome.files.empty());
    ASSERT_EQ(outcome.failedFiles.size(), 1u);
    EXPECT_EQ(outcome.failedFiles[0].name, name);
    EXPECT_TRUE(farm.exportNames().contains(name));
    LocalConnection db;
    db.open(database);
    EXPECT_EQ(db.openRecordset("pragma integrity_check").value(0).toString(), "ok");
    for (const char *table : kTables)
        EXPECT_EQ(count(database, table), 0) << table;
    EXPECT_EQ(
        db.openRecordset("select count(*) from sucesos where descripcion like 'La importacion%'")
            .value(0)
            .toInt(),
        0);
}

// The next scan imports it, once.
void expectImported(MilkFarm &farm, const QString &database)
{
    const ImportOutcome outcome = Abrir(farm.ctx);
    ASSERT_EQ(outcome.files.size(), 1u) << outcome.errorText().toStdString();
    EXPECT_TRUE(outcome.failedFiles.empty());
    EXPECT_EQ(count(database, "Produccion_Lactea"), 1);
    EXPECT_EQ(count(database, "detalle_Produccion_Lactea"), farm.herds());
    EXPECT_EQ(count(database, "lectura_viajes"), 1);
    EXPECT_EQ(count(database, "lectura_descarga"), farm.files().front().groups);
    EXPECT_EQ(count(database, "lectura_Carga"), 1);
    EXPECT_TRUE(Abrir(farm.ctx).files.empty());
    EXPECT_EQ(count(database, "Produccion_Lactea"), 1);
}

TEST(DatabaseFaults, HeldByAnotherWriterLongerThanTheBusyTimeOut)
{
    MilkFarm farm;
    farm.addFile(12, 600);
    {
        // Another program writing, its transaction open through the whole scan.
        LocalConnection other;
        other.open(farm.databasePath());
        other.beginTrans();
        other.execute("insert into sucesos (fecha, descripcion) values ('07/12/2026', 'otro')");
        QElapsedTimer timer;
        timer.start();
        const ImportOutcome outcome = Abrir(farm.ctx);
        EXPECT_GE(timer.elapsed(), 5000); // it waited out the busy time-out
        other.rollbackTrans();
        expectWaiting(farm, farm.databasePath(), outcome);
    }
    expectImported(farm, farm.databasePath());
}

TEST(DatabaseFaults, ConnectionThatMayOnlyRead)
{
    MilkFarm farm;
    farm.addFile(12, 600);
    QSqlQuery(farm.ctx.db().database()).exec("pragma query_only = 1");
    expectWaiting(farm, farm.databasePath(), Abrir(farm.ctx));
    // Told once per situation at most: here the database takes no event at all.
    EXPECT_TRUE(test::eventTexts(farm).isEmpty());
    QSqlQuery(farm.ctx.db().database()).exec("pragma query_only = 0");
    expectImported(farm, farm.databasePath());
}

TEST(DatabaseFaults, DatabaseAtItsSizeLimit)
{
    MilkFarm farm;
    farm.addFile(12, 600);
    QSqlQuery query(farm.ctx.db().database());
    ASSERT_TRUE(query.exec("pragma page_count") && query.next());
    const int pages = query.value(0).toInt();
    ASSERT_TRUE(query.exec(QString("pragma max_page_count = %1").arg(pages + 2)));
    expectWaiting(farm, farm.databasePath(), Abrir(farm.ctx));
    ASSERT_TRUE(query.exec("pragma max_page_count = 1000000"));
    expectImported(farm, farm.databasePath());
}

// A small file system of its own for the database (root may mount one).
class SmallDisk
{
public:
    SmallDisk(const QString &dir, qint64 bytes) : m_dir(QFile::encodeName(dir))
    {
        m_mounted =
            ::mount("tmpfs", m_dir.constData(), "tmpfs", 0, options(bytes).constData()) == 0;
        if (!m_mounted)
            m_why = std::strerror(errno);
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount2(m_dir.constData(), MNT_DETACH);
    }
    bool mounted() const { return m_mounted; }
    std::string why() const { return m_why; }
    bool remount(qint64 bytes, bool readOnly)
    {
        return ::mount(nullptr, m_dir.constData(), nullptr, MS_REMOUNT | (readOnly ? MS_RDONLY : 0),
                       options(bytes).constData()) == 0;
    }

private:
    static QByteArray options(qint64 bytes) { return "size=" + QByteArray::number(bytes); }

    QByteArray m_dir;
    bool m_mounted = false;
    std::string m_why;
};

// The farm's database moved onto a small disk, and the connection with it.
QString moveOnto(MilkFarm &farm, const QString &dir)
{
    const QString database = dir + "/local.db";
    farm.ctx.connection->close();
    if (!QFile::copy(farm.databasePath(), database))
        return {};
    farm.ctx.connection->open(database);
    return database;
}

TEST(DatabaseFaults, DiskFullAndReadOnlyDisk)
{
    MilkFarm farm;
    farm.addFile(12, 3000);
    const QString dir = farm.filePath("disk");
    QDir().mkpath(dir);
    const qint64 databaseBytes = QFileInfo(farm.databasePath()).size();
    // Room for the database and a few pages more; the file needs far more.
    SmallDisk disk(dir, databaseBytes + 64 * 1024);
    if (!disk.mounted())
        GTEST_SKIP() << "no small file system here (" << disk.why()
                     << "); the size limit test covers a full database";
    const QString database = moveOnto(farm, dir);
    ASSERT_FALSE(database.isEmpty());

    expectWaiting(farm, database, Abrir(farm.ctx));

    // Read-only now, with room to spare.
    farm.ctx.connection->close();
    ASSERT_TRUE(disk.remount(64 << 20, true));
    farm.ctx.connection->open(database);
    expectWaiting(farm, database, Abrir(farm.ctx));

    farm.ctx.connection->close();
    ASSERT_TRUE(disk.remount(64 << 20, false));
    farm.ctx.connection->open(database);
    expectImported(farm, database);
    farm.ctx.connection->close();
}

} // namespace
} // namespace zelvano
