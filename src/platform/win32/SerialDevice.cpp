#include "platform/win32/SerialDevice.h"

#include "platform/LineEvents.h"

#include <QDeadlineTimer>

#include <algorithm>
#include <climits>
#include <string>

namespace {

// The output queue is polled this often while a bounded write waits for it to drain: the
// system has no event for "queue empty" outside WaitCommEvent, which the watcher owns.
constexpr DWORD DrainPollMs = 2;

} // namespace

bool MakeDcb(const CommControlBlock& block, DCB& dcb)
{
    if (block.BaudRate == 0 || block.ByteSize < 4 || block.ByteSize > 8 || block.Parity > 4 ||
        block.StopBits > 2)
        return false;
    const quint32 f = block.Flags;
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = block.BaudRate;
    // Windows supports binary transfers only.
    dcb.fBinary = TRUE;
    dcb.fParity = (f & DcbFlag::ParityCheck) != 0;
    dcb.fOutxCtsFlow = (f & DcbFlag::OutCtsFlow) != 0;
    dcb.fOutxDsrFlow = (f & DcbFlag::OutDsrFlow) != 0;
    dcb.fDtrControl = (f & DcbFlag::DtrControlMask) >> 4;
    dcb.fDsrSensitivity = (f & DcbFlag::DsrSensitivity) != 0;
    dcb.fTXContinueOnXoff = (f & DcbFlag::TxContinueOnXoff) != 0;
    dcb.fOutX = (f & DcbFlag::XonXoffOut) != 0;
    dcb.fInX = (f & DcbFlag::XonXoffIn) != 0;
    dcb.fErrorChar = (f & DcbFlag::ErrorChar) != 0;
    dcb.fNull = (f & DcbFlag::NullStrip) != 0;
    dcb.fRtsControl = (f & DcbFlag::RtsControlMask) >> 12;
    // An error must not stop all further reads until someone clears it: the port reads the
    // error flags itself.
    dcb.fAbortOnError = FALSE;
    dcb.XonLim = block.XonLim;
    dcb.XoffLim = block.XoffLim;
    dcb.ByteSize = block.ByteSize;
    dcb.Parity = block.Parity;
    dcb.StopBits = block.StopBits;
    dcb.XonChar = char(block.XonChar);
    dcb.XoffChar = char(block.XoffChar);
    dcb.ErrorChar = char(block.ErrorChar);
    dcb.EofChar = char(block.EofChar);
    dcb.EvtChar = char(block.EvtChar);
    return true;
}

quint32 LineErrorsOf(DWORD commErrors)
{
    quint32 errors = 0;
    if (commErrors & CE_RXOVER)
        errors |= LineError::RxOver;
    if (commErrors & CE_OVERRUN)
        errors |= LineError::Overrun;
    if (commErrors & CE_RXPARITY)
        errors |= LineError::RxParity;
    if (commErrors & CE_FRAME)
        errors |= LineError::Frame;
    if (commErrors & CE_BREAK)
        errors |= LineError::Break;
    return errors;
}

DWORD SerialDevice::Open(const QByteArray& path)
{
    Close();
    const std::wstring name = QString::fromLocal8Bit(path).toStdWString();
    UniqueHandle h(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (!h.IsOpen())
        return GetLastError();
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(h.Get(), &dcb))
        return GetLastError();
    // Reads return at once with what has arrived; writes are bounded by our own waits.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    if (!SetCommTimeouts(h.Get(), &timeouts) || !SetCommMask(h.Get(), 0))
        return GetLastError();
    // Errors left from an earlier user of the port are not ours.
    DWORD stale = 0;
    ClearCommError(h.Get(), &stale, nullptr);
    portErrors_ = 0;
    watchErrors_ = 0;
    handle_ = std::move(h);
    return 0;
}

void SerialDevice::Close()
{
    if (!handle_.IsOpen())
        return;
    // A WaitCommEvent still pending completes at once; unsent output is dropped, not waited for.
    SetCommMask(handle_.Get(), 0);
    PurgeComm(handle_.Get(), PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    handle_.Reset();
}

DWORD SerialDevice::ApplyControlBlock(const CommControlBlock& block)
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle_.Get(), &dcb))
        return GetLastError();
    if (!MakeDcb(block, dcb))
        return ERROR_INVALID_PARAMETER;
    return SetCommState(handle_.Get(), &dcb) ? 0 : GetLastError();
}

DWORD SerialDevice::SetQueueSizes(quint32 readSize, quint32 writeSize)
{
    return SetupComm(handle_.Get(), readSize, writeSize) ? 0 : GetLastError();
}

DWORD SerialDevice::Purge(DWORD flags)
{
    return PurgeComm(handle_.Get(), flags) ? 0 : GetLastError();
}

DWORD SerialDevice::Escape(DWORD function)
{
    return EscapeCommFunction(handle_.Get(), function) ? 0 : GetLastError();
}

DWORD SerialDevice::ModemStatus(DWORD& lines, bool& have) const
{
    lines = 0;
    have = GetCommModemStatus(handle_.Get(), &lines) != 0;
    if (have)
        return 0;
    const DWORD error = GetLastError();
    return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION ? 0 : error;
}

DWORD SerialDevice::Status(COMSTAT* stat)
{
    DWORD flags = 0;
    if (!ClearCommError(handle_.Get(), &flags, stat))
        return GetLastError();
    if (const quint32 errors = LineErrorsOf(flags)) {
        portErrors_ |= errors;
        watchErrors_ |= errors;
    }
    return 0;
}

DWORD SerialDevice::QueueCounts(quint32& input, quint32& output)
{
    COMSTAT stat{};
    const DWORD error = Status(&stat);
    input = error ? 0 : stat.cbInQue;
    output = error ? 0 : stat.cbOutQue;
    return error;
}

DWORD SerialDevice::TakeErrors(std::atomic<quint32>& mine, quint32& errors)
{
    const DWORD error = Status(nullptr);
    errors = mine.exchange(0);
    return error;
}

DWORD SerialDevice::Transfer(bool write, void* buffer, int count, int timeoutMs, HANDLE stop,
                             int& done)
{
    done = 0;
    UniqueHandle event = MakeEvent();
    if (!event.IsOpen())
        return GetLastError();
    OVERLAPPED ov{};
    ov.hEvent = event.Get();
    DWORD moved = 0;
    const BOOL ok = write ? WriteFile(handle_.Get(), buffer, DWORD(count), nullptr, &ov)
                          : ReadFile(handle_.Get(), buffer, DWORD(count), nullptr, &ov);
    if (!ok && GetLastError() != ERROR_IO_PENDING)
        return GetLastError();
    if (!ok) {
        const HANDLE waits[] = {event.Get(), stop};
        const DWORD waited = WaitForMultipleObjects(stop ? 2 : 1, waits, FALSE,
                                                    timeoutMs < 0 ? INFINITE : DWORD(timeoutMs));
        if (waited != WAIT_OBJECT_0)
            CancelIoEx(handle_.Get(), &ov);
    }
    // After a cancel this still waits: the system may touch `ov` until the transfer has ended.
    if (!GetOverlappedResult(handle_.Get(), &ov, &moved, TRUE)) {
        const DWORD error = GetLastError();
        done = int(moved);
        return error == ERROR_OPERATION_ABORTED ? 0 : error;
    }
    done = int(moved);
    return 0;
}

DWORD SerialDevice::Read(char* dest, int count, int& got)
{
    got = 0;
    // Only what is waiting is asked for: Wine's driver does not keep to the "return at once"
    // read time-outs and leaves a read of an empty queue pending. The bound is for a driver
    // that does the same with bytes waiting.
    constexpr int ReadBoundMs = 1000;
    quint32 input = 0, output = 0;
    if (const DWORD error = QueueCounts(input, output))
        return error;
    if (input == 0 || count <= 0)
        return 0;
    return Transfer(false, dest, std::min(count, int(std::min<quint32>(input, INT_MAX))),
                    ReadBoundMs, nullptr, got);
}

DWORD SerialDevice::WriteSome(const char* data, int count, int timeoutMs, HANDLE stop, int& written)
{
    return Transfer(true, const_cast<char*>(data), count, timeoutMs, stop, written);
}

DWORD SerialDevice::Write(const char* data, int count, int timeoutMs, bool& completed)
{
    completed = false;
    const QDeadlineTimer deadline =
        timeoutMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(timeoutMs);
    int written = 0;
    if (const DWORD error =
            Transfer(true, const_cast<char*>(data), count, timeoutMs, nullptr, written))
        return error;
    if (written < count)
        return 0;
    for (;;) {
        quint32 input = 0, output = 0;
        if (const DWORD error = QueueCounts(input, output))
            return error;
        if (output == 0) {
            completed = true;
            return 0;
        }
        if (deadline.hasExpired())
            return 0;
        Sleep(DrainPollMs);
    }
}
