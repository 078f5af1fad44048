#include "printer/PortRefusals.h"

#include <cerrno>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The group that serial devices belong to on Debian, Ubuntu and their relatives.
const QString SerialGroup = QStringLiteral("dialout");

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

// Errors of a device that is not there: no node, or a node without hardware behind it (the
// ttyS nodes exist on every PC, with or without a port).
bool MeansNoPort(int error)
{
    return error == ENOENT || error == ENODEV || error == ENXIO || error == EIO;
}

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

void JudgeRefusal(PortRefusal& refusal)
{
    if (refusal.SystemError == EACCES || refusal.SystemError == EPERM) {
        refusal.Why = PortRefusal::Reason::Permission;
        refusal.Group = GroupOf(refusal.DevicePath);
    } else if (refusal.SystemError == EBUSY) {
        refusal.Why = PortRefusal::Reason::Busy;
        refusal.Holders = OtherHoldersOf(refusal.DevicePath);
    }
}

QString CurrentUserName()
{
    if (const passwd* entry = getpwuid(geteuid()))
        return QString::fromLocal8Bit(entry->pw_name);
    return QStringLiteral("$USER");
}
