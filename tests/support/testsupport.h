#pragma once

#include "common/clock.h"
#include "common/usernotices.h"
#include "common/waitoverlay.h"
#include "common/windowstatus.h"
#include "store/appcontext.h"

#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace zelvano::test {

// A fresh home folder with a database made by the schema and a conexion.txt
// pointing at it, and a headless context on it with a fixed clock.
class TestHome
{
public:
    // The clock starts at 07/12/2026 10:00:00 unless told otherwise.
    explicit TestHome(const QDateTime &now = QDateTime(QDate(2026, 12, 7), QTime(10, 0, 0)));

    QString dir() const { return m_dir.path(); }
    QString databasePath() const { return m_dir.filePath(QStringLiteral("local.db")); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

    // Writes conexion.txt with the given text exactly.
    void writeConnectionFile(const QByteArray &content) const;

    // Opens the database into the context (Connected true) and loads settings.
    void connect();

    // Runs a statement on a separate connection (test set-up and checks).
    void exec(const QString &sql) const;
    // The first column of the first row of a query on a separate connection.
    QVariant scalar(const QString &sql) const;

    ManualClock clock;
    RecordingNotices notices;
    HeadlessOverlay overlay;
    HeadlessWindowStatus window;
    AppContext ctx;

private:
    QTemporaryDir m_dir;
};

// The number of the AppError that f raises; 0 when it raises none.
long errorNumberOf(const std::function<void()> &f);

// Every event description of the database, oldest first.
QStringList eventTexts(const TestHome &home);

} // namespace zelvano::test
