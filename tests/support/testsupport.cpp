#include "support/testsupport.h"

#include "common/error.h"
#include "store/connection.h"
#include "store/localconnection.h"
#include "store/schema.h"

#include <QFile>

#include <gtest/gtest.h>

namespace zelvano::test {

TestHome::TestHome(const QDateTime &now) : clock(now), ctx(clock, notices, overlay, window)
{
    createLocalDatabase(databasePath());
    writeConnectionFile(("Data Source= " + databasePath()).toUtf8());
    ctx.homeDir = m_dir.path();
    ctx.settings.LocaleDecimalSeparator = QStringLiteral(".");
    ctx.DThasta = clock.today();
    ctx.endProgram = [](int) {};
}

void TestHome::writeConnectionFile(const QByteArray &content) const
{
    QFile file(m_dir.filePath(QStringLiteral("conexion.txt")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot write conexion.txt");
    file.write(content);
}

void TestHome::connect()
{
    ctx.LockNoticeArmed = true;
    Conectar_Base(ctx);
    if (!ctx.Connected)
        throw std::runtime_error("test database did not open");
    Inicializar_Usuarios(ctx);
}

void TestHome::exec(const QString &sql) const
{
    LocalConnection db;
    db.open(databasePath());
    db.execute(sql);
}

QVariant TestHome::scalar(const QString &sql) const
{
    LocalConnection db;
    db.open(databasePath());
    Recordset rs = db.openRecordset(sql);
    return rs.eof() ? QVariant() : rs.value(0);
}

long errorNumberOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const AppError &e) {
        return e.number();
    }
    return 0;
}

QStringList eventTexts(const TestHome &home)
{
    LocalConnection db;
    db.open(home.databasePath());
    Recordset rs = db.openRecordset(QStringLiteral("select descripcion from sucesos order by id"));
    QStringList texts;
    for (; !rs.eof(); rs.moveNext())
        texts << rs.value(0).toString();
    return texts;
}

} // namespace zelvano::test
