#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <chrono>
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
    Skipped       // z --if-due: a Z was answered recently
};

// "answered", "accepted", "refused", "no-reply", "not-found", "cannot-open", "other-printer",
// "skipped".
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

// The journal file: JSON lines, appended under an exclusive lock and read under a shared one,
// so that a reader never sees half a line and two writers never interleave. Reading never
// rewrites the file: a damaged line stays for a person to look at.
class Journal
{
public:
    explicit Journal(QString path) : path_(std::move(path)) {}

    // $XDG_STATE_HOME/orvalen/journal.jsonl, or ~/.local/state/orvalen/journal.jsonl.
    static QString DefaultPath();

    const QString& Path() const { return path_; }

    // Writes the record as one line and waits until it is on the disk. On failure, the reason
    // ("path: system error") goes to `error` and the journal is as it was or holds one whole line.
    bool Append(const JobRecord& record, QString& error) const;

    struct Contents
    {
        QList<JobRecord> Records; // in the file's order, oldest first
        QList<int> DamagedLines;  // 1-based numbers of the lines that could not be read
        QString Error;            // the file exists but could not be read
    };
    Contents ReadAll() const;

private:
    QString path_;
};

// The newest "z" the printer answered no longer than `within` before `now`. A record dated after
// `now` does not count: a clock set back must not hide a day's report.
std::optional<JobRecord> RecentAnsweredZ(const QList<JobRecord>& records, const QDateTime& now,
                                         std::chrono::seconds within);
