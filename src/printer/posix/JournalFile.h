#pragma once

// The journal's file handling shared by its writer and its readers: opening only a regular file,
// and the flock() taken with a time limit.

#include "platform/UniqueFd.h"

#include <QString>

#include <chrono>

namespace JournalFile {

// "path: system error".
QString SystemError(const QString& path, int error);

// Opens the journal (`flags` as for open(); O_CREAT creates a missing one). A FIFO, a device or a
// directory is refused before it is opened, and again after, in case it was swapped in between:
// opening a FIFO or a serial port may wait or change the line. Nothing is returned then, with the
// reason in `error`; also nothing, with `error` empty, for a missing file that is not created.
UniqueFd OpenRegular(const QString& path, int flags, QString& error);

// Holds a flock() for the life of the object. Tries until `wait` has passed, every few
// milliseconds, so that a lock another program holds never becomes a wait without end.
class Lock
{
public:
    Lock(int fd, int operation, std::chrono::milliseconds wait);
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

    bool Locked() const { return locked_; }
    // The errno of the last try when not locked: EWOULDBLOCK when another holder kept it.
    int Error() const { return error_; }

private:
    int fd_;
    bool locked_ = false;
    int error_ = 0;
};

} // namespace JournalFile
