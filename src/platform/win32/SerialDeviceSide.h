#pragma once

#include "platform/ControlBlock.h"
#include "platform/SerialDevice.h"
#include "platform/win32/UniqueHandle.h"

#include <windows.h>

#include <atomic>

// The Win32 side of a SerialDevice: the device handle, opened for overlapped I/O, and what the
// system offers beyond the shared calls. ClearCommError clears the system's error flags for
// everyone, so every query keeps what it saw for both readers, the port and its event watcher.
struct SerialDevice::Side
{
    UniqueHandle handle;
    std::atomic<quint32> portErrors{0};
    std::atomic<quint32> watchErrors{0};

    // ClearCommError: the queue counts (stat may be nullptr) and the error flags for both views.
    DWORD Status(COMSTAT* stat);
    DWORD TakeErrors(std::atomic<quint32>& mine, quint32& errors);
    // Runs one overlapped transfer and waits for it within `timeoutMs` (negative: no bound) or
    // until `stop`; a transfer still running then is cancelled. `done` is what it moved.
    DWORD Transfer(bool write, void* buffer, int count, int timeoutMs, HANDLE stop, int& done);
    // The read time-outs that make a read return at once with what has arrived.
    DWORD ReturnReadsAtOnce();

    // PurgeComm with PURGE_* flags: aborts pending I/O and/or drops queued bytes.
    DWORD Purge(DWORD flags);
    // EscapeCommFunction: SETDTR, CLRDTR, SETRTS, CLRRTS, SETBREAK, CLRBREAK, SETXON, SETXOFF.
    DWORD Escape(DWORD function);
    // The modem input lines (MS_CTS_ON, MS_DSR_ON, MS_RING_ON, MS_RLSD_ON). `have` is false when
    // the driver keeps none (Wine on a pseudo-terminal: ERROR_NOT_SUPPORTED); that is no error.
    DWORD ModemStatus(DWORD& lines, bool& have) const;
};

// The system's device control block for ours, on top of the device's current one (fields the
// block does not own stay). False when the block cannot be expressed.
bool MakeDcb(const CommControlBlock& block, DCB& dcb);

// The LineError bits for ClearCommError's CE_* flags.
quint32 LineErrorsOf(DWORD commErrors);
