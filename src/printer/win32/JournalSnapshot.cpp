// The journal's reading with Win32 calls: the shared lock for the look, then positioned
// ReadFile. Windows enforces a writer's lock on reads too, so a read that meets one is tried
// again until the writer is done (one line and a flush) or the lock wait has passed.
#include "printer/JournalSnapshot.h"

#include "platform/win32/UniqueHandle.h"
#include "printer/Journal.h"
#include "printer/win32/JournalFile.h"

#include <QCoreApplication>
#include <QDir>

#include <thread>

struct JournalSnapshot::Side
{
    UniqueHandle File;
};

namespace {

bool Missing(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

} // namespace

JournalSnapshot::JournalSnapshot(const QString& path) : path_(path), side_(std::make_unique<Side>())
{
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    // A folder opens only with backup semantics, and then as something else than a file: it is
    // told apart first.
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (!Missing(GetLastError()))
            error_ = JournalFile::SystemError(path, GetLastError());
        return;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        error_ =
            JournalFile::NotRegular(path, QCoreApplication::translate("Journal", "a directory"));
        return;
    }
    side_->File.Reset(CreateFileW(name.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!side_->File.IsOpen()) {
        if (!Missing(GetLastError()))
            error_ = JournalFile::SystemError(path, GetLastError());
        return;
    }
    if (GetFileType(side_->File.Get()) != FILE_TYPE_DISK) {
        error_ = JournalFile::NotRegular(path, QCoreApplication::translate("Journal", "a device"));
        side_->File.Reset();
        return;
    }
    // Under the shared lock no writer is in the middle of a line. When another program keeps
    // the lock, the file is read as it is: a line being written shows as damaged, no more.
    const JournalFile::Lock lock(side_->File.Get(), JournalFile::Lock::Kind::Shared,
                                 Journal::LockWait);
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(side_->File.Get(), &size)) {
        error_ = JournalFile::SystemError(path, GetLastError());
        side_->File.Reset();
        return;
    }
    size_ = size.QuadPart;
}

JournalSnapshot::~JournalSnapshot() = default;

bool JournalSnapshot::IsOpen() const
{
    return side_->File.IsOpen();
}

std::optional<QByteArray> JournalSnapshot::ReadAt(qint64 offset, qsizetype size,
                                                  QString& error) const
{
    constexpr auto Step = std::chrono::milliseconds(20);
    const auto deadline = std::chrono::steady_clock::now() + Journal::LockWait;
    QByteArray bytes(size, Qt::Uninitialized);
    qsizetype done = 0;
    while (done < size) {
        OVERLAPPED at = JournalFile::At(offset + done);
        DWORD n = 0;
        if (!ReadFile(side_->File.Get(), bytes.data() + done, DWORD(size - done), &n, &at)) {
            const DWORD why = GetLastError();
            if (why == ERROR_HANDLE_EOF)
                break; // cut shorter since the look: what is there is read
            if (why == ERROR_LOCK_VIOLATION && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(Step);
                continue;
            }
            error = JournalFile::SystemError(path_, why);
            return std::nullopt;
        }
        if (n == 0)
            break;
        done += n;
    }
    bytes.truncate(done);
    return bytes;
}
