#include "platform/SignalEvent.h"

#include <windows.h>

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
    return WaitForAnyOf(std::vector<Waitable>(objects), timeoutMs);
}

int WaitForAnyOf(const std::vector<Waitable>& objects, int timeoutMs)
{
    // WaitForMultipleObjects takes no empty entries: keep the caller's index for each one.
    std::vector<HANDLE> waited;
    std::vector<int> index;
    int i = 0;
    for (const Waitable h : objects) {
        if (h) {
            waited.push_back(h);
            index.push_back(i);
        }
        ++i;
    }
    const DWORD ms = timeoutMs < 0 ? INFINITE : DWORD(timeoutMs);
    if (waited.empty()) {
        Sleep(ms);
        return -1;
    }
    const DWORD r = WaitForMultipleObjects(DWORD(waited.size()), waited.data(), FALSE, ms);
    if (r == WAIT_TIMEOUT)
        return -1;
    if (r >= WAIT_OBJECT_0 && r < WAIT_OBJECT_0 + waited.size())
        return index[r - WAIT_OBJECT_0];
    return -2;
}

int LastWaitError()
{
    return int(GetLastError());
}
