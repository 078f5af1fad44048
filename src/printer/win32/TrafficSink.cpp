#include "printer/TrafficSink.h"

#include "platform/ErrorText.h"
#include "platform/win32/UniqueHandle.h"

#include <QDir>

#include <windows.h>

// The file is opened for overlapped writes: a write that a pipe cannot take at once stays
// pending while the writer waits for it or for its wake-up, as a non-blocking descriptor does.
struct TTrafficSink::Handles
{
    UniqueHandle file;
    UniqueHandle wake;    // auto-reset: new lines, or stop
    UniqueHandle written; // the pending write's event
    bool regular = false;

    OVERLAPPED overlapped{};
    bool pending = false;
    QByteArray pendingLine; // keeps the bytes of the pending write alive
    qsizetype pendingOffset = 0;
    LARGE_INTEGER lineStart{}; // the file's size before the line began

    ~Handles()
    {
        if (pending) {
            DWORD n = 0;
            CancelIoEx(file.Get(), &overlapped);
            GetOverlappedResult(file.Get(), &overlapped, &n, TRUE);
        }
    }

    Outcome Fail(DWORD error, qsizetype& offset, int& reason)
    {
        if (regular && offset > 0) {
            FILE_END_OF_FILE_INFO end{};
            end.EndOfFile = lineStart;
            SetFileInformationByHandle(file.Get(), FileEndOfFileInfo, &end, sizeof end);
        }
        offset = 0;
        reason = int(error);
        return Outcome::Failed;
    }
};

// A pipe's writes of up to a page go out whole; a longer entry is split into lines that fit.
const qsizetype TTrafficSink::WholeWriteBytes = 4096;

TTrafficSink::TTrafficSink(std::unique_ptr<Handles> handles) : h_(std::move(handles)) {}

TTrafficSink::~TTrafficSink() = default;

std::unique_ptr<TTrafficSink> TTrafficSink::Open(const QString& path, QString& error)
{
    auto handles = std::make_unique<Handles>();
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    handles->file.Reset(CreateFileW(
        name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr));
    if (!handles->file.IsOpen()) {
        error = QStringLiteral("cannot open the traffic log %1: %2")
                    .arg(path, EnglishErrorText(GetLastError()));
        return nullptr;
    }
    handles->regular = GetFileType(handles->file.Get()) == FILE_TYPE_DISK;
    handles->wake.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    handles->written = MakeEvent();
    if (!handles->wake.IsOpen() || !handles->written.IsOpen()) {
        error = QStringLiteral("cannot write the traffic log %1: %2")
                    .arg(path, EnglishErrorText(GetLastError()));
        return nullptr;
    }
    return std::unique_ptr<TTrafficSink>(new TTrafficSink(std::move(handles)));
}

bool TTrafficSink::Regular() const
{
    return h_->regular;
}

TTrafficSink::Outcome TTrafficSink::Write(const QByteArray& line, qsizetype& offset, int& error)
{
    Handles& h = *h_;
    // A line left pending when the writer gave up on it goes out before the next one.
    const bool sameLine =
        line.constData() == h.pendingLine.constData() && offset == h.pendingOffset;
    if (h.pending) {
        DWORD n = 0;
        if (!GetOverlappedResult(h.file.Get(), &h.overlapped, &n, FALSE)) {
            const DWORD why = GetLastError();
            if (why == ERROR_IO_INCOMPLETE)
                return Outcome::Blocked;
            h.pending = false;
            h.pendingLine.clear();
            if (sameLine)
                return h.Fail(why, offset, error);
        } else {
            h.pending = false;
            h.pendingLine.clear();
            if (sameLine)
                offset += n;
        }
    }
    if (h.regular && offset == 0)
        GetFileSizeEx(h.file.Get(), &h.lineStart);
    while (offset < line.size()) {
        h.overlapped = OVERLAPPED{};
        // Both offsets all ones: at the file's end, wherever another writer left it.
        h.overlapped.Offset = 0xFFFFFFFF;
        h.overlapped.OffsetHigh = 0xFFFFFFFF;
        h.overlapped.hEvent = h.written.Get();
        ResetEvent(h.written.Get());
        const DWORD size = DWORD(line.size() - offset);
        DWORD n = 0;
        if (!WriteFile(h.file.Get(), line.constData() + offset, size, nullptr, &h.overlapped)) {
            const DWORD why = GetLastError();
            if (why != ERROR_IO_PENDING)
                return h.Fail(why, offset, error);
            if (!GetOverlappedResult(h.file.Get(), &h.overlapped, &n, FALSE)) {
                if (GetLastError() != ERROR_IO_INCOMPLETE)
                    return h.Fail(GetLastError(), offset, error);
                h.pending = true;
                h.pendingLine = line;
                h.pendingOffset = offset;
                return Outcome::Blocked;
            }
        } else if (!GetOverlappedResult(h.file.Get(), &h.overlapped, &n, FALSE)) {
            return h.Fail(GetLastError(), offset, error);
        }
        if (n == 0)
            return h.Fail(ERROR_DISK_FULL, offset, error);
        offset += n;
    }
    return Outcome::Written;
}

bool TTrafficSink::Wait(bool forWake, bool forRoom, int timeoutMs)
{
    HANDLE waitFor[2];
    DWORD count = 0;
    if (forWake)
        waitFor[count++] = h_->wake.Get();
    if (forRoom) {
        // Nothing pending: the sink has room now.
        if (!h_->pending)
            return true;
        waitFor[count++] = h_->written.Get();
    }
    if (count == 0)
        return true;
    const DWORD result =
        WaitForMultipleObjects(count, waitFor, FALSE, timeoutMs < 0 ? INFINITE : DWORD(timeoutMs));
    return result != WAIT_TIMEOUT;
}

void TTrafficSink::Wake()
{
    SetEvent(h_->wake.Get());
}

void TTrafficSink::PrepareWriterThread()
{
    // A pipe whose reader left fails the write with ERROR_NO_DATA: no signal to keep away.
}

QString TTrafficSink::ReasonText(int error)
{
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL
               ? QStringLiteral("disco lleno")
               : UserErrorText(DWORD(error));
}
