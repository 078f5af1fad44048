#include "platform/UiCall.h"

#include <QCoreApplication>
#include <QEvent>

#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>
#include <vector>

// Qt's queue is synchronised inside Qt, where ThreadSanitizer cannot see it (Qt is not built
// for it); these marks tell it that posting a call happens before serving it.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
#define ORVALEN_HAPPENS_BEFORE(addr) __tsan_release(addr)
#define ORVALEN_HAPPENS_AFTER(addr) __tsan_acquire(addr)
#else
#define ORVALEN_HAPPENS_BEFORE(addr)
#define ORVALEN_HAPPENS_AFTER(addr)
#endif

namespace {

const QEvent::Type UiCallEventType = QEvent::Type(QEvent::registerEventType());

// The queued call owns its state: the event is deleted on the UI thread, after it ran or when
// the target went first, and a worker that stopped waiting early may already have let go.
class UiCallEvent : public QEvent
{
public:
    UiCallEvent(std::shared_ptr<UiCall> call, std::function<void()> fn)
        : QEvent(UiCallEventType), Call(std::move(call)), Fn(std::move(fn))
    {
    }
    ~UiCallEvent() override { ORVALEN_HAPPENS_AFTER(this); }

    std::shared_ptr<UiCall> Call;
    std::function<void()> Fn;
};

} // namespace

bool UiCallTarget::event(QEvent* e)
{
    // Before the first look at the event: ours were made on another thread.
    ORVALEN_HAPPENS_AFTER(e);
    if (e->type() != UiCallEventType)
        return QObject::event(e);
    auto* call = static_cast<UiCallEvent*>(e);
    try {
        call->Fn();
    } catch (...) {
        // Callers guard their handlers; nothing may unwind into the event loop.
    }
    if (call->Call)
        call->Call->MarkDone();
    return true;
}

UiCall::UiCall() : done_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (!done_.IsOpen())
        throw std::system_error(errno, std::generic_category(), "eventfd");
}

std::shared_ptr<UiCall> UiCall::Post(UiCallTarget* target, std::function<void()> fn)
{
    std::shared_ptr<UiCall> call(new UiCall);
    auto* event = new UiCallEvent(call, std::move(fn));
    ORVALEN_HAPPENS_BEFORE(event);
    QCoreApplication::postEvent(target, event);
    return call;
}

void UiCall::Send(UiCallTarget* target, std::function<void()> fn)
{
    auto* event = new UiCallEvent(nullptr, std::move(fn));
    ORVALEN_HAPPENS_BEFORE(event);
    QCoreApplication::postEvent(target, event);
}

void UiCall::MarkDone()
{
    const eventfd_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(done_.Get(), &one, sizeof one);
}

bool UiCall::Done() const
{
    pollfd p{done_.Get(), POLLIN, 0};
    return poll(&p, 1, 0) > 0;
}

int WaitForReadable(std::initializer_list<int> fds, int timeoutMs)
{
    return WaitForReadable(std::vector<int>(fds), timeoutMs);
}

int WaitForReadable(const std::vector<int>& fds, int timeoutMs)
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
