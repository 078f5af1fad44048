#pragma once

// The journal's file handling shared by its writer and its readers on Windows: the messages and
// the lock over the whole file, taken with a time limit.

#include <QString>

#include <windows.h>

#include <chrono>

namespace JournalFile {

// "path: system error", the path with the system's separators.
QString SystemError(const QString& path, DWORD error);

// Where an overlapped or positioned ReadFile/WriteFile starts.
inline OVERLAPPED At(LONGLONG offset)
{
    OVERLAPPED at{};
    at.Offset = DWORD(offset & 0xFFFFFFFF);
    at.OffsetHigh = DWORD(offset >> 32);
    return at;
}

// "path: a device, not a regular file" and the like.
QString NotRegular(const QString& path, const QString& kind);

// Holds LockFileEx over the whole of the file's possible range, as every writer and reader of
// the journal takes it, for the life of the object. Tries until `wait` has passed, every few
// milliseconds, so that a lock another program holds never becomes a wait without end.
class Lock
{
public:
    enum class Kind
    {
        Shared,
        Exclusive
    };
    Lock(HANDLE file, Kind kind, std::chrono::milliseconds wait);
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

    bool Locked() const { return locked_; }
    // The error of the last try when not locked: ERROR_LOCK_VIOLATION when another holder kept
    // it.
    DWORD Error() const { return error_; }

private:
    HANDLE file_;
    bool locked_ = false;
    DWORD error_ = 0;
};

} // namespace JournalFile
