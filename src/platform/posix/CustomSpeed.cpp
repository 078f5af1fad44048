#include "platform/CustomSpeed.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

int SetCustomSpeed(int fd, quint32 bitsPerSecond)
{
    struct termios2 t;
    if (ioctl(fd, TCGETS2, &t) != 0)
        return errno;
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = bitsPerSecond;
    t.c_ospeed = bitsPerSecond;
    if (ioctl(fd, TCSETS2, &t) != 0)
        return errno;
    return 0;
}

int GetSpeeds(int fd, quint32& inputBps, quint32& outputBps)
{
    struct termios2 t;
    if (ioctl(fd, TCGETS2, &t) != 0)
        return errno;
    inputBps = t.c_ispeed;
    outputBps = t.c_ospeed;
    return 0;
}
