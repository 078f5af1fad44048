#include "UiCall.h"

#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>
#include <vector>

UiCall::UiCall()
{
    done_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (done_ < 0)
        throw std::system_error(errno, std::generic_category(), "eventfd");
}

UiCall::~UiCall()
{
    ::close(done_);
}

std::shared_ptr<UiCall> UiCall::Post(QObject* context, std::function<void()> fn)
{
    std::shared_ptr<UiCall> call(new UiCall);
    // The queued functor owns the call's state: a worker that stopped waiting early may already
    // have dropped its reference when the UI thread gets to it.
    QMetaObject::invokeMethod(
        context,
        [call, fn = std::move(fn)] {
            try {
                fn();
            } catch (...) {
                // Callers guard their handlers; nothing may unwind into the event loop.
            }
            call->MarkDone();
        },
        Qt::QueuedConnection);
    return call;
}

void UiCall::MarkDone()
{
    const eventfd_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(done_, &one, sizeof one);
}

bool UiCall::Done() const
{
    pollfd p{done_, POLLIN, 0};
    return poll(&p, 1, 0) > 0;
}

int WaitForReadable(std::initializer_list<int> fds, int timeoutMs)
{
    std::vector<pollfd> polled;
    polled.reserve(fds.size());
    for (int fd : fds)
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
