#include "printer/Journal.h"

#include "platform/UniqueFd.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString SystemError(const QString& path, int error)
{
    return QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(error)));
}

// Holds a flock() for the life of the object; EINTR (a signal during the wait) is retried.
class FileLock
{
public:
    FileLock(int fd, int operation) : fd_(fd)
    {
        while ((locked_ = flock(fd, operation) == 0) == false && errno == EINTR) {
        }
    }
    ~FileLock()
    {
        if (locked_)
            flock(fd_, LOCK_UN);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool Locked() const { return locked_; }

private:
    int fd_;
    bool locked_ = false;
};

bool WriteAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// Whether the file ends in the middle of a line (a writer that died, a full disk): the next
// line then starts on a line of its own instead of gluing itself to the broken one.
bool EndsInsideALine(int fd)
{
    struct stat st;
    if (fstat(fd, &st) != 0 || st.st_size == 0)
        return false;
    char last = '\n';
    return pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n';
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
        break;
    }
    return QStringLiteral("skipped");
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

bool Journal::Append(const JobRecord& record, QString& error) const
{
    const QString folder = QFileInfo(path_).absolutePath();
    if (!QDir().mkpath(folder)) {
        error = QStringLiteral("%1: the folder cannot be created").arg(folder);
        return false;
    }
    const QByteArray name = QFile::encodeName(path_);
    UniqueFd fd(::open(name.constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    if (!fd.IsOpen()) {
        error = SystemError(path_, errno);
        return false;
    }
    // Read as well as written: the last byte tells whether the file ends inside a line.
    const FileLock lock(fd.Get(), LOCK_EX);
    if (!lock.Locked()) {
        error = SystemError(path_, errno);
        return false;
    }
    QByteArray line = QJsonDocument(record.ToJson()).toJson(QJsonDocument::Compact) + '\n';
    if (EndsInsideALine(fd.Get()))
        line.prepend('\n');
    // One write of the whole line: a reader under the shared lock sees all of it or none.
    if (!WriteAll(fd.Get(), line) || fdatasync(fd.Get()) != 0) {
        error = SystemError(path_, errno);
        return false;
    }
    return true;
}

Journal::Contents Journal::ReadAll() const
{
    Contents contents;
    const QByteArray name = QFile::encodeName(path_);
    UniqueFd fd(::open(name.constData(), O_RDONLY | O_CLOEXEC));
    if (!fd.IsOpen()) {
        if (errno != ENOENT)
            contents.Error = SystemError(path_, errno);
        return contents;
    }
    QByteArray bytes;
    {
        const FileLock lock(fd.Get(), LOCK_SH);
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                contents.Error = SystemError(path_, errno);
                return contents;
            }
            if (n == 0)
                break;
            bytes.append(buffer, n);
        }
    }
    const QList<QByteArray> lines = bytes.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        if (line.trimmed().isEmpty())
            continue;
        QJsonParseError parseError;
        const QJsonDocument document = QJsonDocument::fromJson(line, &parseError);
        std::optional<JobRecord> record;
        if (parseError.error == QJsonParseError::NoError && document.isObject())
            record = JobRecord::FromJson(document.object());
        if (record)
            contents.Records.append(*record);
        else
            contents.DamagedLines.append(int(i + 1));
    }
    return contents;
}

std::optional<JobRecord> RecentAnsweredZ(const QList<JobRecord>& records, const QDateTime& now,
                                         std::chrono::seconds within)
{
    const QDateTime since = now.addSecs(-within.count());
    std::optional<JobRecord> newest;
    for (const JobRecord& record : records) {
        if (record.Command != QLatin1String("z") || record.Result != QLatin1String("answered"))
            continue;
        if (record.Time > now || record.Time <= since)
            continue;
        if (!newest || record.Time > newest->Time)
            newest = record;
    }
    return newest;
}
