#include "serial/VaClasses.h"

#include <algorithm>
#include <cstring>
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
    switch (WaitForAnyOf({event_.Handle()}, timeoutMs < 0 ? -1 : timeoutMs)) {
    case 0:
        return wrSignaled;
    case -1:
        return wrTimeout;
    default:
        lastError_ = LastWaitError();
        return wrError;
    }
}

int WaitForAny(std::initializer_list<TVaHandleObject*> objects, int timeoutMs)
{
    std::vector<Waitable> handles;
    handles.reserve(objects.size());
    for (TVaHandleObject* o : objects)
        handles.push_back(o->Handle());
    return WaitForAnyOf(handles, timeoutMs);
}

void TVaEvent::Signal()
{
    std::lock_guard lock(stateLock_);
    if (signalled_)
        return;
    if (const int error = event_.Set())
        lastError_ = error;
    else
        signalled_ = true;
}

void TVaEvent::Unsignal()
{
    std::lock_guard lock(stateLock_);
    if (!signalled_)
        return;
    if (const int error = event_.Reset())
        lastError_ = error;
    signalled_ = false;
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
