#include "printer/PortRefusals.h"

#include "serial/VaComm.h"

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

} // namespace

QString RefusalPlace(const PortRefusal& refusal)
{
    return QStringLiteral("%1 (%2)").arg(refusal.ComName,
                                         QString::fromLocal8Bit(refusal.DevicePath));
}

QString HeldPortHint()
{
    return QStringLiteral(" ModemManager y brltty suelen tomar los puertos serie; si no los usa, "
                          "deténgalos o desinstálelos.");
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

QString CurrentUserName()
{
    if (const passwd* entry = getpwuid(geteuid()))
        return QString::fromLocal8Bit(entry->pw_name);
    return QStringLiteral("$USER");
}
