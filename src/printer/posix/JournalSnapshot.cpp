// The journal's reading with POSIX calls: the shared flock() for the look, then pread().
#include "printer/JournalSnapshot.h"

#include "printer/Journal.h"
#include "printer/posix/JournalFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

struct JournalSnapshot::Side
{
    UniqueFd Fd;
};

JournalSnapshot::JournalSnapshot(const QString& path) : path_(path), side_(std::make_unique<Side>())
{
    side_->Fd = JournalFile::OpenRegular(path, O_RDONLY, error_);
    if (!side_->Fd.IsOpen())
        return;
    // Under the shared lock no writer is in the middle of a line. When another program keeps
    // the lock, the file is read as it is: a line being written shows as damaged, no more.
    const JournalFile::Lock lock(side_->Fd.Get(), LOCK_SH, Journal::LockWait);
    struct stat st
    {
    };
    if (fstat(side_->Fd.Get(), &st) != 0) {
        error_ = JournalFile::SystemError(path, errno);
        side_->Fd.Reset();
        return;
    }
    size_ = st.st_size;
}

JournalSnapshot::~JournalSnapshot() = default;

bool JournalSnapshot::IsOpen() const
{
    return side_->Fd.IsOpen();
}

std::optional<QByteArray> JournalSnapshot::ReadAt(qint64 offset, qsizetype size,
                                                  QString& error) const
{
    QByteArray bytes(size, Qt::Uninitialized);
    qsizetype done = 0;
    while (done < size) {
        const ssize_t n =
            pread(side_->Fd.Get(), bytes.data() + done, size_t(size - done), off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = JournalFile::SystemError(path_, errno);
            return std::nullopt;
        }
        if (n == 0)
            break; // cut shorter since the look: what is there is read
        done += n;
    }
    bytes.truncate(done);
    return bytes;
}
