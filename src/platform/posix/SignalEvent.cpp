#include "platform/SignalEvent.h"

#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>
#include <vector>

SignalEvent::SignalEvent() : handle_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (handle_ < 0)
        throw std::system_error(errno, std::generic_category(), "eventfd");
}

SignalEvent::~SignalEvent()
{
    ::close(handle_);
}

int SignalEvent::Set()
{
    const eventfd_t one = 1;
    // A counter at its limit refuses more (EAGAIN) but is signalled already.
    return ::write(handle_, &one, sizeof one) < 0 && errno != EAGAIN ? errno : 0;
}

int SignalEvent::Reset()
{
    // Reading an eventfd returns its counter and sets it to 0.
    eventfd_t value = 0;
    return ::read(handle_, &value, sizeof value) < 0 && errno != EAGAIN ? errno : 0;
}

bool SignalEvent::IsSet() const
{
    pollfd p{handle_, POLLIN, 0};
    return poll(&p, 1, 0) > 0;
}

int WaitForAnyOf(std::initializer_list<Waitable> objects, int timeoutMs)
{
    return WaitForAnyOf(std::vector<Waitable>(objects), timeoutMs);
}

int WaitForAnyOf(const std::vector<Waitable>& objects, int timeoutMs)
{
    std::vector<pollfd> polled;
    polled.reserve(objects.size());
    for (const Waitable fd : objects)
        polled.push_back(pollfd{fd, POLLIN, 0});
    for (;;) {
        const int r = poll(polled.data(), polled.size(), timeoutMs < 0 ? -1 : timeoutMs);
        if (r == 0)
            return -1;
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return -2;
        for (size_t i = 0; i < polled.size(); ++i) {
            if (polled[i].revents & (POLLIN | POLLHUP | POLLERR))
                return int(i);
        }
        errno = EBADF;
        return -2;
    }
}

int LastWaitError()
{
    return errno;
}
