#include "platform/SignalEvent.h"

#include "platform/win32/UiCall.h"

#include <system_error>

SignalEvent::SignalEvent() : handle_(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
    if (!handle_)
        throw std::system_error(int(GetLastError()), std::system_category(), "CreateEvent");
}

SignalEvent::~SignalEvent()
{
    CloseHandle(handle_);
}

int SignalEvent::Set()
{
    return SetEvent(handle_) ? 0 : int(GetLastError());
}

int SignalEvent::Reset()
{
    return ResetEvent(handle_) ? 0 : int(GetLastError());
}

bool SignalEvent::IsSet() const
{
    return WaitForSingleObject(handle_, 0) == WAIT_OBJECT_0;
}

int WaitForAnyOf(std::initializer_list<Waitable> objects, int timeoutMs)
{
    return WaitForSignalled(objects, timeoutMs);
}

int WaitForAnyOf(const std::vector<Waitable>& objects, int timeoutMs)
{
    return WaitForSignalled(objects, timeoutMs);
}

int LastWaitError()
{
    return int(GetLastError());
}
