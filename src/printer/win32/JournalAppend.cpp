// Appending to the journal with Win32 calls: LockFileEx over the whole file, one WriteFile of the
// whole line at the end, FlushFileBuffers.
#include "printer/Journal.h"

#include "platform/ErrorText.h"
#include "platform/win32/UniqueHandle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>

#include <windows.h>

namespace {

QString SystemError(const QString& path, DWORD error)
{
    return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), UserErrorText(error));
}

// The whole of the file's possible range, as every writer of the journal locks it.
class WholeFileLock
{
public:
    explicit WholeFileLock(HANDLE file) : file_(file)
    {
        OVERLAPPED at{};
        locked_ = LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                             MAXDWORD, MAXDWORD, &at);
        error_ = locked_ ? 0 : GetLastError();
    }
    ~WholeFileLock()
    {
        if (locked_) {
            OVERLAPPED at{};
            UnlockFileEx(file_, 0, MAXDWORD, MAXDWORD, &at);
        }
    }
    WholeFileLock(const WholeFileLock&) = delete;
    WholeFileLock& operator=(const WholeFileLock&) = delete;

    bool Locked() const { return locked_; }
    DWORD Error() const { return error_; }

private:
    HANDLE file_;
    bool locked_ = false;
    DWORD error_ = 0;
};

OVERLAPPED At(LONGLONG offset)
{
    OVERLAPPED at{};
    at.Offset = DWORD(offset & 0xFFFFFFFF);
    at.OffsetHigh = DWORD(offset >> 32);
    return at;
}

// Whether the file ends in the middle of a line (a writer that died, a full disk): the next
// line then starts on a line of its own instead of gluing itself to the broken one.
bool EndsInsideALine(HANDLE file, LONGLONG size)
{
    if (size <= 0)
        return false;
    char last = '\n';
    DWORD n = 0;
    OVERLAPPED at = At(size - 1);
    return ReadFile(file, &last, 1, &n, &at) && n == 1 && last != '\n';
}

} // namespace

QString Journal::DefaultPath()
{
    QString local = qEnvironmentVariable("LOCALAPPDATA");
    if (local.isEmpty() || !QDir::isAbsolutePath(local))
        local = QDir::homePath() + QStringLiteral("/AppData/Local");
    return QDir::fromNativeSeparators(local) + QStringLiteral("/Orvalen/journal.jsonl");
}

Journal::Appended Journal::TryAppend(const JobRecord& record, QString& error) const
{
    const QString folder = QFileInfo(path_).absolutePath();
    if (!QDir().mkpath(folder)) {
        error = QStringLiteral("%1: the folder cannot be created")
                    .arg(QDir::toNativeSeparators(folder));
        return Appended::Failed;
    }
    const std::wstring name = QDir::toNativeSeparators(path_).toStdWString();
    // Read as well as written: the last byte tells whether the file ends inside a line.
    const UniqueHandle file(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen()) {
        error = SystemError(path_, GetLastError());
        return Appended::Failed;
    }
    // A device (NUL, a COM port) or a pipe under the journal's name is no journal.
    if (GetFileType(file.Get()) != FILE_TYPE_DISK) {
        error = QCoreApplication::translate("Journal", "%1: %2, not a regular file")
                    .arg(QDir::toNativeSeparators(path_),
                         QCoreApplication::translate("Journal", "a device"));
        return Appended::Failed;
    }
    const WholeFileLock lock(file.Get());
    if (!lock.Locked()) {
        if (lock.Error() == ERROR_LOCK_VIOLATION || lock.Error() == ERROR_IO_PENDING) {
            error = QCoreApplication::translate("Journal", "%1: locked by another program")
                        .arg(QDir::toNativeSeparators(path_));
            return Appended::Locked;
        }
        error = SystemError(path_, lock.Error());
        return Appended::Failed;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size)) {
        error = SystemError(path_, GetLastError());
        return Appended::Failed;
    }
    QByteArray line = QJsonDocument(record.ToJson()).toJson(QJsonDocument::Compact) + '\n';
    if (EndsInsideALine(file.Get(), size.QuadPart))
        line.prepend('\n');
    // One write of the whole line at the end; a line cut short (a full disk) is taken back, so
    // that the journal is as it was.
    OVERLAPPED at = At(size.QuadPart);
    DWORD written = 0;
    if (!WriteFile(file.Get(), line.constData(), DWORD(line.size()), &written, &at) ||
        written != DWORD(line.size())) {
        const DWORD why = written != DWORD(line.size()) && GetLastError() == ERROR_SUCCESS
                              ? ERROR_DISK_FULL
                              : GetLastError();
        error = SystemError(path_, why);
        FILE_END_OF_FILE_INFO end{};
        end.EndOfFile = size;
        SetFileInformationByHandle(file.Get(), FileEndOfFileInfo, &end, sizeof end);
        return Appended::Failed;
    }
    if (!FlushFileBuffers(file.Get())) {
        error = SystemError(path_, GetLastError());
        return Appended::Failed;
    }
    return Appended::Written;
}
