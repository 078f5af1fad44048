#include "platform/StandardDescriptors.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

bool OpenStandardDescriptors()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // open() takes the lowest free number, which is this one: the lower ones are open by now.
        const int opened = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened < 0)
            return false;
        if (opened != fd) {
            dup2(opened, fd);
            close(opened);
        }
    }
    return true;
}
