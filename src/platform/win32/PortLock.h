#pragma once

#include "platform/DeviceHolders.h"
#include "platform/win32/UniqueHandle.h"

#include <QString>

#include <optional>

// A program's claim on a COM port, beside the port's own exclusive open: Wine, and some virtual
// port drivers, let a second program open a port that is already open, and two jobs talking to
// one printer at once would mix their frames. The claim is a lock (LockFileEx) on a file of its
// own, %LOCALAPPDATA%\Orvalen\ports\port-COMn.lock, which the system drops when the holder ends,
// even when it crashes. The file names its holder ("pid program"), so that the next one can say who
// has the port: Windows itself does not tell who holds a device.
class PortLock
{
public:
    // Tries once, without waiting. `comName` is "COM3"; `program` is what the file names.
    PortLock(const QString& comName, const QString& program);

    bool Held() const { return file_.IsOpen(); }
    // Not held: ERROR_LOCK_VIOLATION when another holder has it, else why the file failed.
    DWORD Error() const { return error_; }

    static QString FileName(const QString& comName);

private:
    UniqueHandle file_;
    DWORD error_ = 0;
};

// The program that holds the claim on `comName` now, as its file names it; nothing when nobody
// holds it (a file left by a holder that ended names nobody).
std::optional<DeviceHolder> PortLockHolder(const QString& comName);
