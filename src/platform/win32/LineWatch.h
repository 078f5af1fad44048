#pragma once

#include "platform/win32/UniqueHandle.h"

#include <QtGlobal>

#include <windows.h>

class SerialDevice;

// Waits for the system's communications events (WaitCommEvent) on an open device,
// interruptibly. The mask is the system's own (EV_RXCHAR, EV_RXFLAG, EV_TXEMPTY, EV_CTS, EV_DSR,
// EV_RLSD, EV_BREAK, EV_ERR, EV_RING, EV_PERR, EV_RX80FULL, EV_EVENT1, EV_EVENT2): the driver
// raises them. Some drivers (Wine's on a pseudo-terminal, for one) also end the wait with an
// empty mask; the watcher then looks at the queue counts and error flags itself rather than
// trust the mask alone. A device that went away is reported once (LineEvent::Gone); after that
// only the stop event ends a wait.
class LineWatch
{
public:
    // The device must stay open while Wait may run. Construct it on the thread that opened it.
    LineWatch(SerialDevice& device, DWORD mask);
    ~LineWatch();
    LineWatch(const LineWatch&) = delete;
    LineWatch& operator=(const LineWatch&) = delete;

    // Blocks until watched events happened (returns their EV_ bits), the device went away
    // (returns LineEvent::Gone, once), or stop or wake (nullptr: none) was signalled (returns 0;
    // the caller resets wake).
    quint32 Wait(HANDLE stop, HANDLE wake);

    // Whether the driver reports the modem input lines (GetCommModemStatus).
    bool HasModemLines() const { return haveModem_; }
    // The Win32 error that ended the watch, 0 while it goes on.
    DWORD Failure() const { return failure_; }

private:
    // What the queue and the error flags show that the mask did not say.
    quint32 Sample();
    // Ends a pending WaitCommEvent and waits until the system has let go of `ov_`.
    void CancelPending();

    SerialDevice& device_;
    const DWORD mask_;
    UniqueHandle event_;
    OVERLAPPED ov_{};
    DWORD happened_ = 0;
    bool pending_ = false;
    bool haveModem_ = false;
    quint32 reportedInput_ = 0;
    int emptyInARow_ = 0;
    bool gone_ = false;
    DWORD failure_ = 0;
};
