#include "printer/posix/JournalFile.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>

namespace {

// What a file that is not a journal is, for the message.
QString KindOf(mode_t mode)
{
    if (S_ISFIFO(mode))
        return QCoreApplication::translate("Journal", "a FIFO");
    if (S_ISDIR(mode))
        return QCoreApplication::translate("Journal", "a directory");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QCoreApplication::translate("Journal", "a device");
    if (S_ISSOCK(mode))
        return QCoreApplication::translate("Journal", "a socket");
    return QCoreApplication::translate("Journal", "something else");
}

QString NotRegular(const QString& path, mode_t mode)
{
    return QCoreApplication::translate("Journal", "%1: %2, not a regular file")
        .arg(path, KindOf(mode));
}

} // namespace

namespace JournalFile {

QString SystemError(const QString& path, int error)
{
    return QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(error)));
}

UniqueFd OpenRegular(const QString& path, int flags, QString& error)
{
    error.clear();
    const QByteArray name = QFile::encodeName(path);
    struct stat st
    {
    };
    // stat() follows a link: what counts is what the link points to.
    if (::stat(name.constData(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            error = NotRegular(path, st.st_mode);
            return {};
        }
    } else if (errno != ENOENT || !(flags & O_CREAT)) {
        if (errno != ENOENT)
            error = SystemError(path, errno);
        return {};
    }
    // Non-blocking and never a controlling terminal, for whatever is swapped in after the look.
    UniqueFd fd(::open(name.constData(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644));
    if (!fd.IsOpen()) {
        if (errno != ENOENT || (flags & O_CREAT))
            error = SystemError(path, errno);
        return {};
    }
    if (fstat(fd.Get(), &st) != 0) {
        error = SystemError(path, errno);
        return {};
    }
    if (!S_ISREG(st.st_mode)) {
        error = NotRegular(path, st.st_mode);
        return {};
    }
    return fd;
}

Lock::Lock(int fd, int operation, std::chrono::milliseconds wait) : fd_(fd)
{
    constexpr auto Step = std::chrono::milliseconds(20);
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        if (flock(fd, operation | LOCK_NB) == 0) {
            locked_ = true;
            return;
        }
        error_ = errno;
        if (error_ == EINTR)
            continue;
        if (error_ != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline)
            return;
        std::this_thread::sleep_for(Step);
    }
}

Lock::~Lock()
{
    if (locked_)
        flock(fd_, LOCK_UN);
}

} // namespace JournalFile
