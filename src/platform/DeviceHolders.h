#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <sys/types.h>

// A process that has a device open.
struct DeviceHolder
{
    pid_t Pid = 0;
    QString Program; // the name it was started as, without its folder
};

// The other processes that hold the character device at `path` open (this process is left
// out). Any path to the device matches (a link such as $ORVALEN_COM_DIR/com3, /dev/serial/...):
// open descriptors are compared by device number. Only what /proc shows to this user is seen:
// another user's processes stay hidden unless we run as root. A path that is not a character
// device has no holders. The program at a pseudo-terminal's other end (it holds the master) is
// not a holder of its slave.
QList<DeviceHolder> OtherHoldersOf(const QByteArray& path);
QList<DeviceHolder> OtherHoldersOf(dev_t device);
