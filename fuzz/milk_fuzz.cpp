// Feeds arbitrary bytes as a milking file to the import reader: the line
// splitter fed in chunks against the whole bytes at once, the line parser
// under both layouts, both locales and four split marks, and the whole import
// (reading, herd lines, totals, pit trip, in one transaction) into a real
// local database.
#include "common/clock.h"
#include "common/usernotices.h"
#include "common/waitoverlay.h"
#include "common/windowstatus.h"
#include "milk/csvreader.h"
#include "store/appcontext.h"
#include "store/localconnection.h"
#include "store/schema.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <memory>

using namespace zelvano;

namespace {

struct Harness
{
    Harness()
        : clock(QDateTime(QDate(2026, 3, 12), QTime(6, 5, 9))), ctx(clock, notices, overlay, window)
    {
        if (!dir.isValid())
            std::abort();
        const QString db = dir.filePath("local.db");
        createLocalDatabase(db);
        ctx.connection = std::make_unique<LocalConnection>();
        ctx.connection->open(db);
        ctx.Connected = true;
        // Durability is not what is tested here; speed is what finds faults.
        QSqlQuery(ctx.connection->database()).exec("pragma synchronous = off");
        QSqlQuery(ctx.connection->database()).exec("pragma journal_mode = memory");
        LocalConnection &c = *ctx.connection;
        // Herds with several codes, a Null and an empty codes column, a herd
        // whose numbers do not fit 16 bits, and a pit diet with its prescription.
        c.execute("insert into rodeos values ('1', 1, 'Uno', 0, 'G1,G2', 0, null, null, 1, 1)");
        c.execute("insert into rodeos values ('2', 2, 'Dos', 0, ' G1 , G3,', 0, null, null, 2, 2)");
        c.execute("insert into rodeos values ('3', 3, 'Tres', 0, null, 0, null, null, 3, 3)");
        c.execute("insert into rodeos values ('4', 4, 'Cuatro', 0, '', 0, null, null, 4, 4)");
        c.execute("insert into rodeos values ('7', 40000, 'Grande', 0, 'A', 0, null, null, 7, 7)");
        c.execute("insert into dietas values (9, 'Fosa', true)");
        c.execute("insert into prescripcion_viajes values (30, 2, 'Racion', 0, '06:30', '1', '9')");
        c.execute("insert into Prescripcion_detalle_alimentos values (30, 2, 501, 'Balanceado', 0)");
        filePath = dir.filePath("ordene_20260312.csv");
    }

    void importOnce(const QByteArray &bytes, bool dairy, const char *locale)
    {
        QFile file(filePath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(bytes);
        file.close();
        ctx.settings.ImportSoftware = dairy ? "dairy" : "delpro";
        ctx.settings.ImportFileName = "ordene";
        ctx.settings.CsvSplitMark = ";";
        ctx.settings.CsvDecimalSeparator = locale;
        ctx.settings.LocaleDecimalSeparator = locale;
        LeerDatos_CSV(ctx, filePath, "ordene_20260312.csv");
        if (ctx.connection->inTransaction())
            std::abort(); // a transaction left open
        notices.clear();
    }

    void trim()
    {
        // Keep the database small so that every run costs the same.
        LocalConnection &c = *ctx.connection;
        for (const char *table : {"Produccion_Lactea", "detalle_Produccion_Lactea", "lectura_viajes",
                                  "lectura_descarga", "lectura_Carga", "sucesos"})
            c.execute(QStringLiteral("delete from ") + table);
    }

    QTemporaryDir dir;
    ManualClock clock;
    RecordingNotices notices;
    HeadlessOverlay overlay;
    HeadlessWindowStatus window;
    AppContext ctx;
    QString filePath;
    int runs = 0;
};

Harness *harness = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    harness = new Harness;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    // Lines are the same whatever the chunks the file arrives in.
    QList<QByteArray> whole;
    QList<QByteArray> chunked;
    LineSplitter once([&](const QByteArray &line, bool) { whole << line; });
    once.feed(bytes.constData(), bytes.size());
    once.finish();
    LineSplitter pieces([&](const QByteArray &line, bool) { chunked << line; });
    const qsizetype step = size ? 1 + data[0] % 7 : 1;
    for (qsizetype at = 0; at < bytes.size(); at += step)
        pieces.feed(bytes.constData() + at, qMin(step, bytes.size() - at));
    pieces.finish();
    if (whole != chunked)
        std::abort();
    for (const char *setting : {"delpro", "dairy"}) {
        const bool dairy = qstrcmp(setting, "dairy") == 0;
        for (QChar mark : {QChar(u'.'), QChar(u',')}) {
            for (const char *split : {";", ",", ";;", ""}) {
                MilkLayout layout;
                layout.format = milkFormat(QString::fromLatin1(setting));
                layout.splitMark = split;
                layout.decimalMark = mark;
                const MilkFileContent content = parseMilkFile(bytes, layout);
                if (content.empty != bytes.isEmpty())
                    std::abort();
                if (content.rows.size() > size_t(content.groupLines) ||
                    content.leftOut.size() > size_t(kLeftOutListed) ||
                    size_t(content.leftOutCount) < content.leftOut.size())
                    std::abort();
                for (const auto &row : content.rows)
                    if (row.code.isEmpty() && !dairy)
                        std::abort(); // a Delpro group always has its code
            }
        }
    }
    // The whole import under one of the four layout and locale pairs, chosen by
    // the input itself so that every pair sees every shape of file.
    const size_t pair = size_t(qHash(bytes)) % 4;
    harness->importOnce(bytes, pair & 1, (pair & 2) ? "," : ".");
    if (++harness->runs % 20 == 0)
        harness->trim();
    return 0;
}
