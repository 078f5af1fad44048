#include "platform/DeviceHolders.h"

#include "platform/win32/PortLock.h"

// Windows keeps no account of who opened a device that a user may read: listing other
// processes' handles needs the debug privilege and undocumented calls, and names a port only by
// its driver's object name. What can be told is the claim that our own programs take on a port
// (PortLock): a job of orvalenctl is named, any other program holding the port is not.
QList<DeviceHolder> OtherHoldersOf(const QByteArray& path)
{
    static const QByteArray devicePrefix = QByteArrayLiteral("\\\\.\\");
    const QByteArray name = path.startsWith(devicePrefix) ? path.mid(devicePrefix.size()) : path;
    const std::optional<DeviceHolder> holder = PortLockHolder(QString::fromLatin1(name));
    if (!holder || holder->Pid == pid_t(GetCurrentProcessId()))
        return {};
    return {*holder};
}

// Windows devices have no numbers to compare.
QList<DeviceHolder> OtherHoldersOf(dev_t)
{
    return {};
}
