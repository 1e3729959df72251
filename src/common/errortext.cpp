#include "common/errortext.h"

namespace zelvano::ErrorText {

QString inWindow(const AppError &error, const QString &procedure)
{
    return inProcedure(error, procedure, QStringLiteral("Formulario FrmSucesos")) + u' ';
}

QString inProcedure(const AppError &error, const QString &procedure, const QString &owner)
{
    QString text = error.text() + QStringLiteral(" en procedimiento ") + procedure;
    if (!owner.isEmpty())
        text += QStringLiteral(" de ") + owner;
    return text;
}

QString inProcedureEnglish(const AppError &error, const QString &procedure, const QString &owner)
{
    return error.text() + QStringLiteral(" in procedure ") + procedure + QStringLiteral(" of ") +
           owner;
}

QString descriptionFirst(const AppError &error, const QString &where)
{
    return error.description() + QStringLiteral(" en ") + where;
}

} // namespace zelvano::ErrorText

namespace zelvano {

namespace {

QString serverName(const QString &server)
{
    const QString s = server.trimmed();
    return s.isEmpty() ? QStringLiteral("remoto") : s;
}

bool mentions(const QString &text, std::initializer_list<const char *> words)
{
    for (const char *w : words)
        if (text.contains(QLatin1String(w), Qt::CaseInsensitive))
            return true;
    return false;
}

} // namespace

QString clerkExplanation(const AppError &error, const QString &server)
{
    const QString host = serverName(server);
    const QString d = error.description();
    // Secure links first: their failures come under several numbers.
    if (mentions(d, {"certificado", "certificate", "segura", "SSL", "TLS"}))
        return QStringLiteral("No se pudo establecer una conexión segura con el servidor %1: "
                              "revise la fecha y hora del equipo; si están bien, avise al "
                              "proveedor del servidor")
            .arg(host);
    switch (error.number()) {
    case ErrNo::HttpCannotConnect:
        return QStringLiteral("No se pudo conectar con el servidor %1: revise la conexión a "
                              "Internet o el servidor configurado")
            .arg(host);
    case ErrNo::HttpNameNotResolved:
        if (server.trimmed().isEmpty())
            return QStringLiteral("No hay un servidor remoto configurado: cargue el servidor en "
                                  "los datos de la empresa");
        return QStringLiteral("No se encontró el servidor %1: revise la conexión a Internet y el "
                              "nombre del servidor configurado")
            .arg(host);
    case ErrNo::HttpTimeout:
        return QStringLiteral("El servidor %1 no respondió a tiempo: Zelvano lo intentará de "
                              "nuevo en la próxima descarga; si se repite, revise la conexión "
                              "a Internet")
            .arg(host);
    case -2147012866: // the connection ended abnormally, or the answer came cut
        return QStringLiteral("La conexión con el servidor %1 se cortó o su respuesta llegó "
                              "incompleta: lo recibido entero se conserva y Zelvano lo "
                              "intentará de nuevo; si se repite, revise la conexión a Internet")
            .arg(host);
    case -2147012879: // cancelled
        return QStringLiteral("Se interrumpió porque Zelvano se estaba cerrando: no se grabó nada "
                              "a medias; se hará en la próxima ejecución");
    case ErrNo::LoginRefused:
        return QStringLiteral("El servidor %1 no aceptó el cliente y la contraseña configurados: "
                              "revise el id de cliente y la contraseña remota en los datos de la "
                              "empresa")
            .arg(host);
    case ErrNo::ConnectionClosed:
        return QStringLiteral("La base de datos local no está abierta: revise el archivo "
                              "conexion.txt y que la base de datos exista");
    case ErrNo::InvalidCall:
        if (mentions(d, {"en curso"}))
            return QStringLiteral("Espere a que termine la descarga en curso y vuelva a intentar");
        if (mentions(d, {"servidor remoto", "cliente remoto"}))
            return QStringLiteral("Corrija los datos del servidor remoto en los datos de la "
                                  "empresa");
        break;
    case ErrNo::SqlError:
        return QStringLiteral("El servidor %1 rechazó una consulta: anote el mensaje y avise al "
                              "soporte técnico")
            .arg(host);
    default:
        break;
    }
    if (mentions(d, {"locked", "busy"}))
        return QStringLiteral("La base de datos local está ocupada por otro programa: Zelvano lo "
                              "intentará de nuevo en el próximo minuto");
    if (mentions(d, {"disk is full", "no space", "readonly", "read-only"}))
        return QStringLiteral("No se pudo escribir en la base de datos local: revise el espacio "
                              "libre del disco y los permisos de la carpeta");
    if (error.number() == ErrNo::ProviderFailure) {
        if (mentions(d, {"status"}))
            return QStringLiteral("El servidor %1 respondió con un error: pruebe más tarde; si se "
                                  "repite, avise al proveedor del servidor")
                .arg(host);
        if (mentions(d, {"connect", "host", "timeout", "timed out", "lost"}))
            return QStringLiteral("No se pudo conectar con el servidor %1: revise la conexión a "
                                  "Internet o el servidor configurado")
                .arg(host);
    }
    return QStringLiteral("Anote el mensaje y, si se repite, avise al soporte técnico");
}

QString withClerkExplanation(const QString &systemText, const AppError &error,
                             const QString &server)
{
    const QString explanation = clerkExplanation(error, server);
    return explanation.isEmpty() ? systemText
                                 : explanation + QStringLiteral(" (") + systemText + u')';
}

} // namespace zelvano
