#include "serial/VaClasses.h"

#include "platform/UiCall.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>
#include <vector>

int ThreadPriorityValue(TThreadPriority priority)
{
    static constexpr int Values[] = {-15, -2, -1, 0, 1, 2, 15};
    return Values[static_cast<int>(priority)];
}

int ThreadNiceOffset(TThreadPriority priority)
{
    // Nice values run from -20 (most urgent) to 19; the extremes of the table reach them.
    static constexpr int Offsets[] = {39, 10, 5, 0, -5, -10, -39};
    return Offsets[static_cast<int>(priority)];
}

TVaHandleObject::~TVaHandleObject() = default;

TVaWaitResult TVaHandleObject::WaitFor(int timeoutMs)
{
    pollfd p{handle_.Get(), POLLIN, 0};
    for (;;) {
        const int r = poll(&p, 1, timeoutMs < 0 ? -1 : timeoutMs);
        if (r > 0)
            return (p.revents & POLLIN) ? wrSignaled : wrAbandoned;
        if (r == 0)
            return wrTimeout;
        if (errno != EINTR) {
            lastError_ = errno;
            return wrError;
        }
    }
}

int WaitForAny(std::initializer_list<TVaHandleObject*> objects, int timeoutMs)
{
    std::vector<int> handles;
    handles.reserve(objects.size());
    for (TVaHandleObject* o : objects)
        handles.push_back(o->Handle());
    return WaitForReadable(handles, timeoutMs);
}

void TVaEvent::Signal()
{
    std::lock_guard lock(stateLock_);
    if (signalled_)
        return;
    const eventfd_t one = 1;
    if (::write(handle_.Get(), &one, sizeof one) < 0)
        lastError_ = errno;
    else
        signalled_ = true;
}

void TVaEvent::Unsignal()
{
    std::lock_guard lock(stateLock_);
    if (!signalled_)
        return;
    // Reading an eventfd returns its counter and sets it to 0.
    eventfd_t value = 0;
    if (::read(handle_.Get(), &value, sizeof value) < 0 && errno != EAGAIN)
        lastError_ = errno;
    signalled_ = false;
}

TVaWaitEvent::TVaWaitEvent()
{
    handle_.Reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!handle_.IsOpen())
        throw std::system_error(errno, std::generic_category(), "eventfd");
}

TVaCommBuffer::TVaCommBuffer(int capacity)
    : data_(std::make_unique<char[]>(size_t(std::max(capacity, 0)))),
      capacity_(std::max(capacity, 0))
{
}

void TVaCommBuffer::Append(const char* data, int count)
{
    count = std::clamp(count, 0, capacity_ - size_);
    if (count > 0)
        std::memcpy(data_.get() + size_, data, size_t(count));
    size_ += count;
}

void TVaCommBuffer::Consume(int count)
{
    count = std::clamp(count, 0, size_);
    std::memmove(data_.get(), data_.get() + count, size_t(size_ - count));
    size_ -= count;
}
