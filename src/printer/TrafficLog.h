#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

class TTrafficRecord;
struct TTrafficEntry;

// The traffic record appended to a file as it happens, one line per entry, so that the file is
// complete up to the last entry even if the program is killed.
//
// The file is written by a thread of its own from a bounded queue: a sink that does not take the
// lines (a FIFO nobody reads, a stalled network share, a full disk) never holds up the window.
// Lines that find no room are lost, and an EV line says how many and why: before the next line
// that reaches the file, or on its own once the queue is empty, or at the program's end if the
// sink takes it then. A line reaches the file whole or not at all: a regular file is cut back
// after a write that failed halfway; any other sink (a pipe) gets each line in one write of at
// most PIPE_BUF bytes (a page on Windows), which it takes whole or not at all, an entry too long
// for that going out as several lines.
class TTrafficLog : public QObject
{
    Q_OBJECT
public:
    // Opens the file for appending (created if missing). On failure returns nothing and says
    // why in `error` (in English, for standard error).
    static std::unique_ptr<TTrafficLog> Open(const QString& path, QString& error);
    // Writes what the sink takes at once and leaves the rest: never waits long for the sink.
    ~TTrafficLog() override;

    // Writes every entry the record adds from now on.
    void Follow(const TTrafficRecord& record);

    void Write(const TTrafficEntry& entry);

    // Waits until every line written so far has reached the file or been given up for lost.
    // False when that takes longer than `limit`.
    bool Drain(std::chrono::milliseconds limit);

    struct Sink;

private:
    explicit TTrafficLog(std::shared_ptr<Sink> sink);
    void Queue(QByteArray line);

    // Shared with the writing thread, which outlives this object when the sink is stuck in a
    // write that cannot be interrupted.
    std::shared_ptr<Sink> sink_;
};
