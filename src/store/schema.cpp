#include "store/schema.h"

#include "common/error.h"
#include "schema_text.h"
#include "store/localconnection.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace zelvano {

namespace {

// The schema text split into statements, comments dropped.
QStringList schemaStatements()
{
    QString text = QString::fromUtf8(kLocalSchemaSql);
    static const QRegularExpression comment(QStringLiteral("--[^\n]*"));
    text.remove(comment);
    QStringList statements;
    for (const QString &part : text.split(u';')) {
        const QString s = part.trimmed();
        if (!s.isEmpty())
            statements << s;
    }
    return statements;
}

} // namespace

QStringList localSchemaTables()
{
    static const QRegularExpression create(QStringLiteral("^create\\s+table\\s+(\\w+)"),
                                           QRegularExpression::CaseInsensitiveOption);
    QStringList tables;
    for (const QString &statement : schemaStatements())
        if (const QRegularExpressionMatch m = create.match(statement); m.hasMatch())
            tables << m.captured(1);
    return tables;
}

void createLocalDatabase(const QString &path)
{
    if (QFileInfo::exists(path))
        raise(ErrNo::FileAlreadyExists, QStringLiteral("File already exists: %1").arg(path));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            raise(ErrNo::PathNotFound, QStringLiteral("Path not found: %1").arg(path));
    }
    try {
        LocalConnection db;
        db.open(path);
        db.beginTrans();
        for (const QString &statement : schemaStatements())
            db.execute(statement);
        installDateTriggers(db);
        // The company row: WEB mode, a download every 5 minutes, no import.
        db.execute(QStringLiteral(
            "insert into mi_empresa (razon_social, direccion, localidad, telefono, modo_remoto, "
            "usa_intervalo, intervalo_minutos, importa_csv, separador_campos, separador_decimal, "
            "cabezas_desde_alimentacion, cabezas_desde_ordene) values "
            "('', '', '', '', 'WEB', true, '5', false, ';', ',', false, false)"));
        db.commitTrans();
        db.close();
    } catch (...) {
        QFile::remove(path);
        throw;
    }
}

} // namespace zelvano
