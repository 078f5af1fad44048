#include "platform/ThreadPriority.h"

#include <algorithm>
#include <cerrno>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

pid_t CurrentThreadId()
{
    return pid_t(syscall(SYS_gettid));
}

int ThreadNice(pid_t tid)
{
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, id_t(tid));
    return errno == 0 ? nice : 0;
}

int ApplyThreadNice(pid_t tid, int offset)
{
    // The main thread's value is the process's: workers are placed relative to it.
    const int base = ThreadNice(getpid());
    const int wanted = std::clamp(base + offset, -20, 19);
    if (setpriority(PRIO_PROCESS, id_t(tid), wanted) == 0)
        return wanted;
    // Without CAP_SYS_NICE a thread may only go up to the limit RLIMIT_NICE allows (usually
    // none, i.e. no lower than it stands now); try the most urgent value still permitted.
    rlimit limit{};
    int floor = ThreadNice(tid);
    if (getrlimit(RLIMIT_NICE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        floor = std::min(floor, 20 - int(std::min<rlim_t>(limit.rlim_cur, 40)));
    const int capped = std::max(wanted, floor);
    if (setpriority(PRIO_PROCESS, id_t(tid), capped) == 0)
        return capped;
    return ThreadNice(tid);
}
