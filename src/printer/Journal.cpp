#include "printer/Journal.h"

#include "printer/JournalFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
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

QString ResultName(JobResult result)
{
    switch (result) {
    case JobResult::Answered:
        return QStringLiteral("answered");
    case JobResult::Accepted:
        return QStringLiteral("accepted");
    case JobResult::Refused:
        return QStringLiteral("refused");
    case JobResult::NoReply:
        return QStringLiteral("no-reply");
    case JobResult::NotFound:
        return QStringLiteral("not-found");
    case JobResult::CannotOpen:
        return QStringLiteral("cannot-open");
    case JobResult::OtherPrinter:
        return QStringLiteral("other-printer");
    case JobResult::Skipped:
        return QStringLiteral("skipped");
    case JobResult::Sending:
        return QStringLiteral("sending");
    case JobResult::Stopped:
        break;
    }
    return QStringLiteral("stopped");
}

QJsonObject JobRecord::ToJson() const
{
    // The offset is written out ("+00:00" rather than "Z") so that every line reads alike: Qt
    // writes "Z" for any time at offset zero, a computer on UTC included.
    QString time = Time.toOffsetFromUtc(Time.offsetFromUtc()).toString(Qt::ISODate);
    if (time.endsWith(QLatin1Char('Z')))
        time.replace(time.size() - 1, 1, QStringLiteral("+00:00"));
    return QJsonObject{
        {QStringLiteral("command"), Command},
        {QStringLiteral("time"), time},
        {QStringLiteral("port"), Port},
        {QStringLiteral("device"), QString::fromLocal8Bit(Device)},
        {QStringLiteral("serial"), Serial},
        {QStringLiteral("result"), Result},
        {QStringLiteral("reply_hex"), QString::fromLatin1(Reply.toHex())},
    };
}

std::optional<JobRecord> JobRecord::FromJson(const QJsonObject& object)
{
    JobRecord record;
    record.Command = object.value(QStringLiteral("command")).toString();
    record.Result = object.value(QStringLiteral("result")).toString();
    record.Time =
        QDateTime::fromString(object.value(QStringLiteral("time")).toString(), Qt::ISODate);
    if (record.Command.isEmpty() || record.Result.isEmpty() || !record.Time.isValid())
        return std::nullopt;
    record.Port = object.value(QStringLiteral("port")).toString();
    record.Device = object.value(QStringLiteral("device")).toString().toLocal8Bit();
    record.Serial = object.value(QStringLiteral("serial")).toString();
    record.Reply =
        QByteArray::fromHex(object.value(QStringLiteral("reply_hex")).toString().toLatin1());
    return record;
}

QString Journal::DefaultPath()
{
    // GenericStateLocation arrives with Qt 6.7; the rule is the XDG one either way.
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/orvalen/journal.jsonl");
}

bool Journal::Append(const JobRecord& record, QString& error,
                     std::chrono::milliseconds lockWait) const
{
    // The lock is tried again and again rather than waited for in flock(): the wait has a limit.
    constexpr auto Step = std::chrono::milliseconds(50);
    const auto deadline = std::chrono::steady_clock::now() + lockWait;
    for (;;) {
        switch (TryAppend(record, error)) {
        case Appended::Written:
            return true;
        case Appended::Failed:
            return false;
        case Appended::Locked:
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(Step);
    }
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
