// Appending to the journal with POSIX calls: flock() and fdatasync().
#include "printer/Journal.h"

#include "printer/posix/JournalFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool WriteAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            errno = ENOSPC;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// Whether the file ends in the middle of a line (a writer that died, a full disk): the next
// line then starts on a line of its own instead of gluing itself to the broken one.
bool EndsInsideALine(int fd, off_t size)
{
    char last = '\n';
    return size > 0 && pread(fd, &last, 1, size - 1) == 1 && last != '\n';
}

} // namespace

QString Journal::DefaultPath()
{
    // GenericStateLocation arrives with Qt 6.7; the rule is the XDG one either way.
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/orvalen/journal.jsonl");
}

Journal::Appended Journal::TryAppend(const JobRecord& record, QString& error) const
{
    const QString folder = QFileInfo(path_).absolutePath();
    if (!QDir().mkpath(folder)) {
        error = QStringLiteral("%1: the folder cannot be created").arg(folder);
        return Appended::Failed;
    }
    // Read as well as written: the last byte tells whether the file ends inside a line.
    const UniqueFd fd = JournalFile::OpenRegular(path_, O_RDWR | O_APPEND | O_CREAT, error);
    if (!fd.IsOpen())
        return Appended::Failed;
    const JournalFile::Lock lock(fd.Get(), LOCK_EX, std::chrono::milliseconds(0));
    if (!lock.Locked()) {
        if (lock.Error() == EWOULDBLOCK) {
            error =
                QCoreApplication::translate("Journal", "%1: locked by another program").arg(path_);
            return Appended::Locked;
        }
        error = JournalFile::SystemError(path_, lock.Error());
        return Appended::Failed;
    }
    struct stat st
    {
    };
    if (fstat(fd.Get(), &st) != 0) {
        error = JournalFile::SystemError(path_, errno);
        return Appended::Failed;
    }
    QByteArray line = QJsonDocument(record.ToJson()).toJson(QJsonDocument::Compact) + '\n';
    if (EndsInsideALine(fd.Get(), st.st_size))
        line.prepend('\n');
    // One write of the whole line; a line cut short (a full disk) is taken back, so that the
    // journal is as it was.
    if (!WriteAll(fd.Get(), line)) {
        error = JournalFile::SystemError(path_, errno);
        [[maybe_unused]] const int cut = ftruncate(fd.Get(), st.st_size);
        return Appended::Failed;
    }
    if (fdatasync(fd.Get()) != 0) {
        error = JournalFile::SystemError(path_, errno);
        return Appended::Failed;
    }
    return Appended::Written;
}
