#include "printer/PortRefusals.h"

#include "platform/DevicePath.h"
#include "platform/SystemError.h"
#include "serial/VaComm.h"

#include <QStringList>

#include <cerrno>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The group that serial devices belong to on Debian, Ubuntu and their relatives.
const QString SerialGroup = QStringLiteral("dialout");

// Errors of a device that is not there: no node, or a node without hardware behind it (the
// ttyS nodes exist on every PC, with or without a port).
bool MeansMissing(int error)
{
    return error == ENOENT || error == ENODEV || error == ENXIO || error == EIO;
}

// The device's own group when it is one a user can join; serial ports are in dialout elsewhere
// too, but some systems name it otherwise (uucp).
QString GroupOf(const QByteArray& path)
{
    struct stat st;
    if (stat(path.constData(), &st) != 0 || st.st_gid == 0)
        return SerialGroup;
    const group* entry = getgrgid(st.st_gid);
    return entry ? QString::fromLocal8Bit(entry->gr_name) : SerialGroup;
}

QString Where(const PortRefusal& refusal)
{
    return QStringLiteral("%1 (%2)").arg(refusal.ComName,
                                         QString::fromLocal8Bit(refusal.DevicePath));
}

QString PermissionAdvice(const QList<PortRefusal>& refused, const QString& userName)
{
    QStringList groups;
    QString text = QStringLiteral("No se pudo abrir por falta de permiso:\n");
    for (const PortRefusal& refusal : refused) {
        text += QStringLiteral("    %1\n").arg(Where(refusal));
        if (!groups.contains(refusal.Group))
            groups.append(refusal.Group);
    }
    text += QStringLiteral("\nLos puertos serie pertenecen al grupo %1. Para agregar su usuario a "
                           "ese grupo, ejecute en una terminal:\n\n    sudo usermod -aG %2 %3\n\n"
                           "Luego cierre la sesión y vuelva a entrar (o reinicie la computadora) "
                           "para que el cambio tenga efecto.")
                .arg(groups.join(QStringLiteral(", ")), groups.join(QLatin1Char(',')), userName);
    return text;
}

QString BusyAdvice(const QList<PortRefusal>& refused)
{
    QString text = QStringLiteral("Otro programa está usando:\n");
    for (const PortRefusal& refusal : refused) {
        text += QStringLiteral("    %1").arg(Where(refusal));
        if (!refusal.Holders.isEmpty())
            text += QStringLiteral(": %1").arg(HolderNames(refusal.Holders));
        text += QLatin1Char('\n');
    }
    text += QStringLiteral("\nCierre ese programa y vuelva a buscar. ModemManager y brltty suelen "
                           "tomar los puertos serie; si no los usa, deténgalos o desinstálelos.");
    return text;
}

} // namespace

QByteArray DevicePathOfCom(const QString& comName)
{
    return DevicePathFor(comName.toLatin1()).value_or(QByteArray());
}

std::optional<PortRefusal> RefusalOf(const QString& comName, const std::exception& error)
{
    PortRefusal refusal;
    refusal.ComName = comName;
    refusal.DevicePath = DevicePathOfCom(comName);
    const auto* portError = dynamic_cast<const EVaCommError*>(&error);
    const int systemError = portError ? portError->SystemError() : 0;
    refusal.SystemError = systemError;
    if (refusal.DevicePath.isEmpty() || MeansMissing(systemError))
        return std::nullopt;

    if (systemError == EACCES || systemError == EPERM) {
        refusal.Why = PortRefusal::Reason::Permission;
        refusal.Group = GroupOf(refusal.DevicePath);
    } else if (systemError == EBUSY) {
        refusal.Why = PortRefusal::Reason::Busy;
        refusal.Holders = OtherHoldersOf(refusal.DevicePath);
    } else {
        refusal.Detail = QString::fromUtf8(error.what());
    }
    return refusal;
}

QString RefusalLine(const PortRefusal& refusal)
{
    QString reason;
    switch (refusal.Why) {
    case PortRefusal::Reason::Permission:
        reason =
            QStringLiteral("permission denied; add your user to the %1 group").arg(refusal.Group);
        break;
    case PortRefusal::Reason::Busy:
        reason = refusal.Holders.isEmpty()
                     ? QStringLiteral("busy: another program holds it")
                     : QStringLiteral("busy: held by %1").arg(HolderNames(refusal.Holders));
        break;
    case PortRefusal::Reason::Other:
        reason = refusal.Detail;
        // The port's text ends with the system's in the user's language; this line is English
        // throughout.
        if (const QString local = SystemErrorText(refusal.SystemError);
            refusal.SystemError != 0 && !local.isEmpty() && reason.endsWith(local)) {
            reason.chop(local.size());
            reason += QString::fromStdString(UntranslatedError(refusal.SystemError));
        }
        break;
    }
    return QStringLiteral("orvalen: %1: %2").arg(Where(refusal), reason);
}

QString RefusalAdvice(const QList<PortRefusal>& refusals, const QString& userName)
{
    QList<PortRefusal> denied;
    QList<PortRefusal> busy;
    for (const PortRefusal& refusal : refusals) {
        if (refusal.Why == PortRefusal::Reason::Permission)
            denied.append(refusal);
        else if (refusal.Why == PortRefusal::Reason::Busy)
            busy.append(refusal);
    }
    QStringList parts;
    if (!denied.isEmpty())
        parts.append(PermissionAdvice(denied, userName));
    if (!busy.isEmpty())
        parts.append(BusyAdvice(busy));
    return parts.join(QStringLiteral("\n\n"));
}

QString HolderNames(const QList<DeviceHolder>& holders)
{
    QStringList names;
    for (const DeviceHolder& holder : holders)
        names.append(QStringLiteral("%1 (pid %2)").arg(holder.Program).arg(holder.Pid));
    return names.join(QStringLiteral(", "));
}

QString CurrentUserName()
{
    if (const passwd* entry = getpwuid(geteuid()))
        return QString::fromLocal8Bit(entry->pw_name);
    return QStringLiteral("$USER");
}
