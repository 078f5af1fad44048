#pragma once

#include <initializer_list>
#include <vector>

// What a thread can wait for: a file descriptor on POSIX, a kernel HANDLE on Windows.
#if defined(_WIN32)
using Waitable = void*;
inline constexpr Waitable NoWaitable = nullptr;
#else
using Waitable = int;
inline constexpr Waitable NoWaitable = -1;
#endif

// An event that one thread signals and others wait for. It stays signalled until reset, however
// often it was signalled (an eventfd on POSIX, a manual-reset event on Windows).
class SignalEvent
{
public:
    // Throws std::system_error when the system has no event left to give.
    SignalEvent();
    ~SignalEvent();
    SignalEvent(const SignalEvent&) = delete;
    SignalEvent& operator=(const SignalEvent&) = delete;

    // Both return 0 or the system's error code.
    int Set();
    int Reset();
    bool IsSet() const;
    Waitable Handle() const { return handle_; }

private:
    Waitable handle_ = NoWaitable;
};

// Waits until one of the objects (NoWaitable entries are skipped) is signalled: a descriptor is
// readable or hung up, a handle signalled. Returns its index in the list, -1 on time-out
// (timeoutMs < 0: none) and -2 on failure. The first signalled one in the list wins.
int WaitForAnyOf(std::initializer_list<Waitable> objects, int timeoutMs);
int WaitForAnyOf(const std::vector<Waitable>& objects, int timeoutMs);
// The system's error code for the last wait that failed on this thread (errno, GetLastError).
int LastWaitError();
