#include "platform/win32/SerialDeviceSide.h"

#include "platform/LineEvents.h"

#include <QDeadlineTimer>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

namespace {

// Only what is waiting is asked for: Wine's driver does not keep to the "return at once" read
// time-outs and leaves a read of an empty queue pending. The bound is for a driver that does
// the same with bytes waiting.
constexpr int ReadBoundMs = 1000;

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

int SerialDevice::InputCapacity(int readSize)
{
    return readSize;
}

SerialDevice::SerialDevice() : side_(std::make_unique<Side>()) {}

SerialDevice::~SerialDevice()
{
    Close();
}

bool SerialDevice::IsOpen() const
{
    return side_->handle.IsOpen();
}

Waitable SerialDevice::Handle() const
{
    return side_->handle.Get();
}

int SerialDevice::Open(const QByteArray& path)
{
    Close();
    const std::wstring name = QString::fromLocal8Bit(path).toStdWString();
    Side& s = *side_;
    s.handle.Reset(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (!s.handle.IsOpen())
        return int(GetLastError());
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    DWORD error = GetCommState(s.handle.Get(), &dcb) ? 0 : GetLastError();
    if (error == 0)
        error = s.ReturnReadsAtOnce();
    if (error == 0 && !SetCommMask(s.handle.Get(), 0))
        error = GetLastError();
    if (error != 0) {
        s.handle.Reset();
        return int(error);
    }
    // Errors left from an earlier user of the port are not ours.
    DWORD stale = 0;
    ClearCommError(s.handle.Get(), &stale, nullptr);
    s.portErrors = 0;
    s.watchErrors = 0;
    return 0;
}

void SerialDevice::Close()
{
    const HANDLE h = side_->handle.Get();
    if (!h)
        return;
    // A WaitCommEvent still pending completes at once; unsent output is dropped, not waited for.
    SetCommMask(h, 0);
    PurgeComm(h, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    side_->handle.Reset();
}

int SerialDevice::ApplyControlBlock(const CommControlBlock& block)
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(Handle(), &dcb))
        return int(GetLastError());
    if (!MakeDcb(block, dcb))
        return ERROR_INVALID_PARAMETER;
    return SetCommState(Handle(), &dcb) ? 0 : int(GetLastError());
}

int SerialDevice::SetQueueSizes(int readSize, int writeSize)
{
    if (readSize < 0 || writeSize < 0)
        return ERROR_INVALID_PARAMETER;
    return SetupComm(Handle(), DWORD(readSize), DWORD(writeSize)) ? 0 : int(GetLastError());
}

int SerialDevice::MakeRaw()
{
    // Windows transfers bytes as they are (fBinary); only the read time-outs remain.
    return int(side_->ReturnReadsAtOnce());
}

int SerialDevice::CheckTerminal() const
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    return GetCommState(Handle(), &dcb) ? 0 : int(GetLastError());
}

int SerialDevice::CheckPresent() const
{
    return int(side_->Status(nullptr));
}

int SerialDevice::QueueCounts(quint32& input, quint32& output) const
{
    COMSTAT stat{};
    const DWORD error = side_->Status(&stat);
    input = error ? 0 : stat.cbInQue;
    output = error ? 0 : stat.cbOutQue;
    return int(error);
}

int SerialDevice::TakeLineErrors(quint32& errors)
{
    return int(side_->TakeErrors(side_->portErrors, errors));
}

int SerialDevice::Read(char* dest, int count, int& got)
{
    got = 0;
    quint32 input = 0, output = 0;
    if (const int error = QueueCounts(input, output))
        return error;
    if (input == 0 || count <= 0)
        return 0;
    return int(side_->Transfer(false, dest, std::min(count, int(std::min<quint32>(input, INT_MAX))),
                               ReadBoundMs, nullptr, got));
}

int SerialDevice::WriteSome(const char* data, int count, int timeoutMs, Waitable stop, int& written)
{
    written = 0;
    if (count <= 0)
        return 0;
    return int(side_->Transfer(true, const_cast<char*>(data), count, timeoutMs, stop, written));
}

int SerialDevice::Write(const char* data, int count, int timeoutMs, bool& completed)
{
    completed = false;
    const QDeadlineTimer deadline(std::max(timeoutMs, 0));
    int written = 0;
    if (const int error = WriteSome(data, count, timeoutMs, nullptr, written))
        return error;
    if (written < count)
        return 0;
    return WaitUntilSent(int(deadline.remainingTime()), {}, completed);
}

int SerialDevice::WaitUntilSent(int timeoutMs, std::initializer_list<Waitable> wake,
                                bool& sent) const
{
    sent = false;
    const QDeadlineTimer deadline(std::max(timeoutMs, 0));
    const std::vector<Waitable> wakes(wake);
    int stepMs = 1;
    for (;;) {
        quint32 input = 0, output = 0;
        if (const int error = QueueCounts(input, output))
            return error;
        if (output == 0) {
            sent = true;
            return 0;
        }
        const int left = int(deadline.remainingTime());
        if (left <= 0)
            return 0;
        const int woken = WaitForAnyOf(wakes, std::min(stepMs, left));
        if (woken >= 0)
            return 0;
        if (woken == -2)
            return LastWaitError();
        stepMs = std::min(stepMs * 2, 10);
    }
}

// --- the Win32 side -----------------------------------------------------------------------

DWORD SerialDevice::Side::ReturnReadsAtOnce()
{
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    return SetCommTimeouts(handle.Get(), &timeouts) ? 0 : GetLastError();
}

DWORD SerialDevice::Side::Purge(DWORD flags)
{
    return PurgeComm(handle.Get(), flags) ? 0 : GetLastError();
}

DWORD SerialDevice::Side::Escape(DWORD function)
{
    return EscapeCommFunction(handle.Get(), function) ? 0 : GetLastError();
}

DWORD SerialDevice::Side::ModemStatus(DWORD& lines, bool& have) const
{
    lines = 0;
    have = GetCommModemStatus(handle.Get(), &lines) != 0;
    if (have)
        return 0;
    const DWORD error = GetLastError();
    return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION ? 0 : error;
}

DWORD SerialDevice::Side::Status(COMSTAT* stat)
{
    DWORD flags = 0;
    if (!ClearCommError(handle.Get(), &flags, stat))
        return GetLastError();
    if (const quint32 errors = LineErrorsOf(flags)) {
        portErrors |= errors;
        watchErrors |= errors;
    }
    return 0;
}

DWORD SerialDevice::Side::TakeErrors(std::atomic<quint32>& mine, quint32& errors)
{
    const DWORD error = Status(nullptr);
    errors = mine.exchange(0);
    return error;
}

DWORD SerialDevice::Side::Transfer(bool write, void* buffer, int count, int timeoutMs, HANDLE stop,
                                   int& done)
{
    done = 0;
    UniqueHandle event = MakeEvent();
    if (!event.IsOpen())
        return GetLastError();
    OVERLAPPED ov{};
    ov.hEvent = event.Get();
    DWORD moved = 0;
    const BOOL ok = write ? WriteFile(handle.Get(), buffer, DWORD(count), nullptr, &ov)
                          : ReadFile(handle.Get(), buffer, DWORD(count), nullptr, &ov);
    if (!ok && GetLastError() != ERROR_IO_PENDING)
        return GetLastError();
    if (!ok) {
        const HANDLE waits[] = {event.Get(), stop};
        const DWORD waited = WaitForMultipleObjects(stop ? 2 : 1, waits, FALSE,
                                                    timeoutMs < 0 ? INFINITE : DWORD(timeoutMs));
        if (waited != WAIT_OBJECT_0)
            CancelIoEx(handle.Get(), &ov);
    }
    // After a cancel this still waits: the system may touch `ov` until the transfer has ended.
    const BOOL finished = GetOverlappedResult(handle.Get(), &ov, &moved, TRUE);
    done = int(moved);
    if (finished)
        return 0;
    const DWORD error = GetLastError();
    return error == ERROR_OPERATION_ABORTED ? 0 : error;
}
