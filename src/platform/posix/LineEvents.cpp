#include "platform/LineEvents.h"

#include <cerrno>
#include <linux/serial.h>
#include <sys/ioctl.h>

bool IsDeviceGone(int error)
{
    return error == EIO || error == ENXIO || error == ENODEV;
}

const int SystemCode::NoSuchDevice = ENOENT;
const int SystemCode::InvalidArgument = EINVAL;
const int SystemCode::OutOfMemory = ENOMEM;

int ReadLineErrorCounters(int fd, LineErrorCounters& out)
{
    serial_icounter_struct icount{};
    if (ioctl(fd, TIOCGICOUNT, &icount) != 0)
        return errno;
    out.overrun = icount.overrun;
    out.bufOverrun = icount.buf_overrun;
    out.parity = icount.parity;
    out.frame = icount.frame;
    out.brk = icount.brk;
    return 0;
}

quint32 LineErrorsBetween(const LineErrorCounters& before, const LineErrorCounters& now)
{
    // Counters only grow; "differs" also survives their wrap-around.
    quint32 errors = 0;
    if (now.bufOverrun != before.bufOverrun)
        errors |= LineError::RxOver;
    if (now.overrun != before.overrun)
        errors |= LineError::Overrun;
    if (now.parity != before.parity)
        errors |= LineError::RxParity;
    if (now.frame != before.frame)
        errors |= LineError::Frame;
    if (now.brk != before.brk)
        errors |= LineError::Break;
    return errors;
}

quint32 CounterEvents(const LineErrorCounters& before, const LineErrorCounters& now)
{
    const quint32 errors = LineErrorsBetween(before, now);
    quint32 events = 0;
    if (errors & ~LineError::Break)
        events |= LineEvent::Err;
    if (errors & LineError::Break)
        events |= LineEvent::Break;
    return events;
}
