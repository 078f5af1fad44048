#include "printer/PortRefusals.h"

#include "platform/DevicePath.h"
#include "platform/SystemError.h"
#include "serial/VaComm.h"

#include <QStringList>

namespace {

QString PermissionAdvice(const QList<PortRefusal>& refused, const QString& userName)
{
    QStringList groups;
    QString text = QStringLiteral("No se pudo abrir por falta de permiso:\n");
    for (const PortRefusal& refusal : refused) {
        text += QStringLiteral("    %1\n").arg(RefusalPlace(refusal));
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
        text += QStringLiteral("    %1").arg(RefusalPlace(refusal));
        if (!refusal.Holders.isEmpty())
            text += QStringLiteral(": %1").arg(HolderNames(refusal.Holders));
        text += QLatin1Char('\n');
    }
    text += QStringLiteral("\nCierre ese programa y vuelva a buscar.") + HeldPortHint();
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
    refusal.SystemError = portError ? portError->SystemError() : 0;
    if (refusal.DevicePath.isEmpty() || MeansNoPort(refusal.SystemError))
        return std::nullopt;
    JudgeRefusal(refusal);
    if (refusal.Why == PortRefusal::Reason::Other)
        refusal.Detail = QString::fromUtf8(error.what());
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
    return QStringLiteral("orvalen: %1: %2").arg(RefusalPlace(refusal), reason);
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
