#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

// The file or pipe that the traffic log goes to, as its writing thread uses it: writes that never
// wait for the sink, a wait for room or for the thread's wake-up, and the system's texts for what
// went wrong. One side per system (posix/, win32/); error numbers are the system's own (errno,
// or a Win32 error code).
class TTrafficSink
{
public:
    enum class Outcome
    {
        Written,
        Blocked, // the sink takes nothing now; the rest of the line waits
        Failed,  // the sink refused it
    };

    // Opens `path` for appending (created if missing). On failure returns nothing and says why in
    // `error` (in English, for standard error).
    static std::unique_ptr<TTrafficSink> Open(const QString& path, QString& error);
    ~TTrafficSink();
    TTrafficSink(const TTrafficSink&) = delete;
    TTrafficSink& operator=(const TTrafficSink&) = delete;

    // A regular file. Any other sink (a pipe) takes each line in one write of at most
    // WholeWriteBytes, whole or not at all: what a pipe took cannot be taken back as a file can
    // be cut.
    bool Regular() const;
    static const qsizetype WholeWriteBytes;

    // Writes what the sink takes now of `line` from `offset` on, and moves `offset`. A regular
    // file is cut back to where the line began when a write fails halfway; `offset` is then 0
    // and `error` says why.
    Outcome Write(const QByteArray& line, qsizetype& offset, int& error);

    // Waits for Wake() when `forWake`, and with `forRoom` also until the sink may take more of a
    // blocked line. `timeoutMs` -1 waits for ever; false when the time ran out.
    bool Wait(bool forWake, bool forRoom, int timeoutMs);
    // Ends the writer's Wait from any thread.
    void Wake();

    // Called first on the writing thread: a pipe whose reader left must not end the program.
    static void PrepareWriterThread();

    // The text of an error, in the user's language; "disco lleno" for a full disk.
    static QString ReasonText(int error);

    struct Handles;

private:
    explicit TTrafficSink(std::unique_ptr<Handles> handles);
    std::unique_ptr<Handles> h_;
};
