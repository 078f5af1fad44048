#include "printer/win32/JournalFile.h"

#include "platform/ErrorText.h"

#include <QCoreApplication>
#include <QDir>

#include <thread>

namespace JournalFile {

QString SystemError(const QString& path, DWORD error)
{
    return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), UserErrorText(error));
}

QString NotRegular(const QString& path, const QString& kind)
{
    return QCoreApplication::translate("Journal", "%1: %2, not a regular file")
        .arg(QDir::toNativeSeparators(path), kind);
}

Lock::Lock(HANDLE file, Kind kind, std::chrono::milliseconds wait) : file_(file)
{
    constexpr auto Step = std::chrono::milliseconds(20);
    const DWORD flags =
        LOCKFILE_FAIL_IMMEDIATELY | (kind == Kind::Exclusive ? LOCKFILE_EXCLUSIVE_LOCK : DWORD(0));
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        OVERLAPPED at{};
        if (LockFileEx(file_, flags, 0, MAXDWORD, MAXDWORD, &at)) {
            locked_ = true;
            return;
        }
        error_ = GetLastError();
        // A lock that another holder keeps: ERROR_LOCK_VIOLATION, or ERROR_IO_PENDING where
        // the handle is an overlapped one.
        if (error_ == ERROR_IO_PENDING)
            error_ = ERROR_LOCK_VIOLATION;
        if (error_ != ERROR_LOCK_VIOLATION || std::chrono::steady_clock::now() >= deadline)
            return;
        std::this_thread::sleep_for(Step);
    }
}

Lock::~Lock()
{
    if (locked_) {
        OVERLAPPED at{};
        UnlockFileEx(file_, 0, MAXDWORD, MAXDWORD, &at);
    }
}

} // namespace JournalFile
