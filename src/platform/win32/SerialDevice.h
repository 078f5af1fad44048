#pragma once

#include "platform/ControlBlock.h"
#include "platform/win32/UniqueHandle.h"

#include <QByteArray>
#include <QtGlobal>

#include <windows.h>

#include <atomic>

// One open communications device (\\.\COMn), held exclusively and opened for overlapped I/O.
// Every operation returns 0 or the Win32 error code of the step that failed; nothing here
// raises, and no call waits longer than the bound it is given. Reads and writes may run on
// different threads at once: each call has its own overlapped state.
class SerialDevice
{
public:
    SerialDevice() = default;
    ~SerialDevice() { Close(); }
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    // Opens the device with no sharing: a second opener, in this program or another, gets
    // ERROR_ACCESS_DENIED. ERROR_FILE_NOT_FOUND means there is no such port. A file that is no
    // communications device is refused (its GetCommState error) and closed again. Reads are set
    // to return at once with what has arrived.
    DWORD Open(const QByteArray& path);
    // Ends a pending WaitCommEvent, discards what is queued either way and closes.
    void Close();
    bool IsOpen() const { return handle_.IsOpen(); }
    HANDLE Handle() const { return handle_.Get(); }

    // Writes the line settings of the block. ERROR_INVALID_PARAMETER for an impossible block
    // (speed 0, byte size or parity out of range); the device then keeps what it has.
    DWORD ApplyControlBlock(const CommControlBlock& block);
    // The driver's queue sizes (SetupComm): a request, which a driver may round or ignore.
    DWORD SetQueueSizes(quint32 readSize, quint32 writeSize);
    // PurgeComm with PURGE_* flags: aborts pending I/O and/or drops queued bytes.
    DWORD Purge(DWORD flags);
    // EscapeCommFunction: SETDTR, CLRDTR, SETRTS, CLRRTS, SETBREAK, CLRBREAK, SETXON, SETXOFF.
    DWORD Escape(DWORD function);
    // The modem input lines (MS_CTS_ON, MS_DSR_ON, MS_RING_ON, MS_RLSD_ON). `have` is false when
    // the driver keeps none (Wine on a pseudo-terminal: ERROR_NOT_SUPPORTED); that is no error.
    DWORD ModemStatus(DWORD& lines, bool& have) const;

    // Bytes waiting in the input queue and not yet sent from the output queue.
    DWORD QueueCounts(quint32& input, quint32& output);
    // Line error flags (LineError bits) that arose since the last call (or since Open).
    // ClearCommError clears the system's flags for everyone: every query here keeps what it saw
    // for both readers, the port and its event watcher, so neither takes errors from the other.
    DWORD TakeLineErrors(quint32& errors) { return TakeErrors(portErrors_, errors); }
    DWORD TakeWatchErrors(quint32& errors) { return TakeErrors(watchErrors_, errors); }

    // Reads at most `count` bytes that have arrived; `got` is 0 when none are waiting.
    DWORD Read(char* dest, int count, int& got);
    // Hands all bytes to the driver and waits until they have left the output queue, within
    // `timeoutMs` real milliseconds in all (negative: no bound). `completed` tells whether both
    // happened in time.
    DWORD Write(const char* data, int count, int timeoutMs, bool& completed);
    // Writes what the driver takes within `timeoutMs` or until `stop` (nullptr: none) is
    // signalled; the rest is cancelled. `written` says how many bytes were taken.
    DWORD WriteSome(const char* data, int count, int timeoutMs, HANDLE stop, int& written);

private:
    DWORD Status(COMSTAT* stat);
    DWORD TakeErrors(std::atomic<quint32>& mine, quint32& errors);
    // Runs one overlapped transfer and waits for it within `timeoutMs` or until `stop`; a
    // transfer still running then is cancelled. `done` is what it moved.
    DWORD Transfer(bool write, void* buffer, int count, int timeoutMs, HANDLE stop, int& done);

    UniqueHandle handle_;
    std::atomic<quint32> portErrors_{0};
    std::atomic<quint32> watchErrors_{0};
};

// The system's device control block for ours, on top of the device's current one (fields the
// block does not own stay). False when the block cannot be expressed (see ApplyControlBlock).
bool MakeDcb(const CommControlBlock& block, DCB& dcb);

// The LineError bits for ClearCommError's CE_* flags.
quint32 LineErrorsOf(DWORD commErrors);
