#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

// How a job with the printer ended: the journal's "result".
enum class JobResult
{
    Answered,     // the printer answered (its reply ended)
    Accepted,     // clock: the printer took the date and time
    Refused,      // clock: the printer wrote ERRO
    NoReply,      // nothing came, or the port went away
    NotFound,     // no printer answered on COM1..COM20
    CannotOpen,   // the port could not be opened
    OtherPrinter, // another serial number answered where the remembered printer was expected
    Skipped,      // z --if-due: a Z was answered recently
    Sending,      // z: the frame is about to go out; the job's own line follows it
    Stopped       // SIGTERM or SIGINT came before the job's command went out
};

// "answered", "accepted", "refused", "no-reply", "not-found", "cannot-open", "other-printer",
// "skipped", "sending", "stopped".
QString ResultName(JobResult result);

// One job done with the printer, by orvalenctl or by the window: one line of the journal.
struct JobRecord
{
    QString Command;   // "find", "status", "z", "clock"
    QDateTime Time;    // when the job ended, with the computer's offset from UTC
    QString Port;      // "COM3"; empty when the job was given a device path
    QByteArray Device; // "/dev/ttyS2"
    QString Serial;    // the printer's serial number, when it answered
    QString Result;    // ResultName of how it ended
    QByteArray Reply;  // the printer's raw reply

    QJsonObject ToJson() const;
    // Nothing when the object lacks the command, the result or a readable time.
    static std::optional<JobRecord> FromJson(const QJsonObject& object);
};

// The journal file: JSON lines, appended under an exclusive lock, so that two writers never
// interleave. A reader takes the shared lock only to learn where the last whole line ends, then
// reads up to there without it: lines are only ever appended, so that part no longer changes, and
// a reader that is slow to hand the lines on never holds up a writer. Reading never rewrites the
// file: a damaged line stays for a person to look at.
//
// On Windows the line goes out in one write under LockFileEx and then FlushFileBuffers, and the
// reader's look is under the shared LockFileEx.
//
// Only a regular file is a journal: a FIFO, a device (a link to /dev/zero), a directory is
// refused with a message that says what it is, before anything waits on it or reads from it.
class Journal
{
public:
    explicit Journal(QString path) : path_(std::move(path)) {}

    // $XDG_STATE_HOME/orvalen/journal.jsonl, or ~/.local/state/orvalen/journal.jsonl; on
    // Windows %LOCALAPPDATA%\Orvalen\journal.jsonl.
    static QString DefaultPath();

    // How long a job waits for another program's lock before it gives up.
    static constexpr std::chrono::milliseconds LockWait{10000};
    // A longer line is damaged: reading keeps no more than this of a line.
    static constexpr qsizetype MaxLineBytes = 1024 * 1024;

    const QString& Path() const { return path_; }

    // Writes the record as one line and waits until it is on the disk, waiting at most
    // `lockWait` for the lock. On failure, the reason ("path: system error") goes to `error` and
    // the journal is as it was.
    bool Append(const JobRecord& record, QString& error,
                std::chrono::milliseconds lockWait = LockWait) const;
    enum class Appended
    {
        Written,
        Locked, // another program holds the lock: nothing was written
        Failed
    };
    // As Append, without waiting for the lock.
    Appended TryAppend(const JobRecord& record, QString& error) const;

    // Called with each line's number (1-based; 0 when reading backwards) and its record, or
    // nothing for a damaged line; returns false to stop reading.
    using Visit = std::function<bool(qint64 line, const std::optional<JobRecord>& record)>;
    // The lines from the first to the last one written when the reading began, holding one line
    // at a time. Returns why the file could not be read; empty when it was, or does not exist.
    QString Read(const Visit& visit) const;
    // The same from the last line to the first, reading only as far back as `visit` goes on.
    QString ReadBackward(const Visit& visit) const;

    struct Contents
    {
        QList<JobRecord> Records; // in the file's order, oldest first
        QList<int> DamagedLines;  // 1-based numbers of the lines that could not be read
        QString Error;            // the file exists but could not be read
    };
    // Every record at once: for a journal known to be small.
    Contents ReadAll() const;

private:
    QString path_;
};

// The newest "z" that the printer with this serial number answered no longer than `within`
// before `now`, read from the journal's end. Nothing counts for an empty serial number. A record
// dated after `now` does not count: a clock set back must not hide a day's report. Why the
// journal could not be read goes to `error`.
std::optional<JobRecord> RecentAnsweredZ(const Journal& journal, const QString& serial,
                                         const QDateTime& now, std::chrono::seconds within,
                                         QString& error);
