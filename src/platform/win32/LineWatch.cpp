#include "platform/win32/LineWatch.h"

#include "platform/LineEvents.h"
#include "platform/win32/SerialDevice.h"

namespace {

// After this many empty endings in a row the watcher pauses briefly before waiting again, so a
// driver that keeps ending the wait at once cannot make it spin a core.
constexpr int EmptyEndingsBeforePause = 3;
constexpr DWORD EmptyPauseMs = 10;

} // namespace

LineWatch::LineWatch(SerialDevice& device, DWORD mask)
    : device_(device), mask_(mask), event_(MakeEvent())
{
    if (!event_.IsOpen()) {
        failure_ = GetLastError();
    } else if (mask_ != 0 && !SetCommMask(device_.Handle(), mask_)) {
        failure_ = GetLastError();
    }
    gone_ = failure_ != 0;
    DWORD lines = 0;
    device_.ModemStatus(lines, haveModem_);
    quint32 output = 0;
    device_.QueueCounts(reportedInput_, output);
}

LineWatch::~LineWatch()
{
    CancelPending();
}

void LineWatch::CancelPending()
{
    if (!pending_)
        return;
    // A change of the mask ends a pending wait on every driver; the cancel is for the rest.
    SetCommMask(device_.Handle(), 0);
    CancelIoEx(device_.Handle(), &ov_);
    DWORD unused = 0;
    GetOverlappedResult(device_.Handle(), &ov_, &unused, TRUE);
    pending_ = false;
}

quint32 LineWatch::Sample()
{
    quint32 found = 0;
    quint32 input = 0, output = 0;
    if (device_.QueueCounts(input, output) == 0) {
        if (input > reportedInput_ && (mask_ & EV_RXCHAR))
            found |= EV_RXCHAR;
        reportedInput_ = input;
    }
    quint32 errors = 0;
    device_.TakeWatchErrors(errors);
    if ((errors & ~LineError::Break) && (mask_ & EV_ERR))
        found |= EV_ERR;
    if ((errors & LineError::Break) && (mask_ & EV_BREAK))
        found |= EV_BREAK;
    return found;
}

quint32 LineWatch::Wait(HANDLE stop, HANDLE wake)
{
    HANDLE waits[3] = {stop, wake, nullptr};
    const DWORD callers = wake ? 2 : 1;
    if (gone_ || mask_ == 0) {
        // Nothing more to watch: only the caller's events end the wait.
        WaitForMultipleObjects(callers, waits, FALSE, INFINITE);
        return 0;
    }
    for (;;) {
        if (!pending_) {
            happened_ = 0;
            ResetEvent(event_.Get());
            ov_ = OVERLAPPED{};
            ov_.hEvent = event_.Get();
            if (!WaitCommEvent(device_.Handle(), &happened_, &ov_)) {
                const DWORD error = GetLastError();
                if (error != ERROR_IO_PENDING) {
                    failure_ = error;
                    gone_ = true;
                    return LineEvent::Gone;
                }
                pending_ = true;
            }
        }
        if (pending_) {
            waits[callers] = event_.Get();
            const DWORD waited = WaitForMultipleObjects(callers + 1, waits, FALSE, INFINITE);
            // The wait stays pending for the next call, which sees what it brings.
            if (waited != WAIT_OBJECT_0 + callers)
                return 0;
            DWORD unused = 0;
            pending_ = false;
            if (!GetOverlappedResult(device_.Handle(), &ov_, &unused, FALSE)) {
                // An aborted wait may be a change of the mask or a device that went away (Wine
                // ends the wait so when the far end of its pseudo-terminal closes): the queue
                // query tells which.
                DWORD error = GetLastError();
                quint32 input = 0, output = 0;
                if (error == ERROR_OPERATION_ABORTED)
                    error = device_.QueueCounts(input, output);
                if (error != 0) {
                    failure_ = error;
                    gone_ = true;
                    return LineEvent::Gone;
                }
                happened_ = 0;
            }
        }
        if (happened_ & EV_RXCHAR) {
            quint32 output = 0;
            device_.QueueCounts(reportedInput_, output);
        }
        if (const quint32 found = (happened_ & mask_) | Sample()) {
            emptyInARow_ = 0;
            return found;
        }
        if (++emptyInARow_ >= EmptyEndingsBeforePause &&
            WaitForMultipleObjects(callers, waits, FALSE, EmptyPauseMs) != WAIT_TIMEOUT)
            return 0;
    }
}
