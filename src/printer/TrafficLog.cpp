#include "printer/TrafficLog.h"

#include "platform/SystemError.h"
#include "platform/UniqueFd.h"
#include "printer/TrafficFormat.h"
#include "printer/TrafficRecord.h"

#include <QDateTime>
#include <QFile>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// What waits for the sink at most; beyond it new lines are lost (and counted). A few seconds of
// a flooding printer, and far more than a pipe's buffer.
constexpr qsizetype MaxQueuedBytes = 1024 * 1024;
// How long leaving the program waits for the last lines to go out.
constexpr auto StopGrace = std::chrono::milliseconds(500);
// Why lines were lost when the queue was full.
constexpr int NotTakenInTime = 0;
// How long the writer waits for room for the count of the lines the program's end leaves
// behind. The program does not wait for it (StopGrace): a program that goes on (a test) does.
constexpr int LastCountWaitMs = 2000;

struct QueuedLine
{
    QByteArray line;
    // Lines lost just before this one, and why (an errno value, or NotTakenInTime).
    quint64 lostBefore = 0;
    int why = NotTakenInTime;
};

enum class Outcome
{
    Written,
    Blocked, // the sink takes nothing now; the rest of the line waits
    Failed,  // the sink refused it; errno says why
};

} // namespace

struct TTrafficLog::Sink
{
    QString path;
    UniqueFd fd;
    UniqueFd wake; // an eventfd: new lines, or stop
    bool regular = false;
    // Every line in one write of at most PIPE_BUF bytes: a pipe takes such a write whole or not
    // at all, and what a pipe took cannot be taken back as a file can be cut.
    bool wholeWrites = false;

    std::mutex mutex;
    std::condition_variable finished;
    std::deque<QueuedLine> queue;
    qsizetype queuedBytes = 0;
    quint64 lostAfterQueue = 0; // lost after the last queued line
    int lostWhy = NotTakenInTime;
    bool busy = false; // a line taken from the queue is not handled yet
    bool stop = false;
    bool done = false;
    std::atomic<bool> warned{false};

    void Wake() const
    {
        const quint64 one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake.Get(), &one, sizeof one);
    }

    // Said once on standard error, in English with the system's untranslated text: the log
    // itself says how many lines went missing.
    void WarnOnce(int why)
    {
        if (warned.exchange(true))
            return;
        const std::string reason = why == NotTakenInTime
                                       ? std::string("it does not take them in time")
                                       : UntranslatedError(why);
        std::fprintf(stderr,
                     "orvalen: the traffic log %s is losing lines (%s); the log will say how "
                     "many\n",
                     QFile::encodeName(path).constData(), reason.c_str());
    }

    // The EV line, in the traffic events' language, with the system's text as the user reads it.
    static QByteArray LostLine(quint64 lost, int why)
    {
        const QString reason = why == NotTakenInTime ? QStringLiteral("el archivo no las recibía "
                                                                      "a tiempo")
                               : why == ENOSPC       ? QStringLiteral("disco lleno")
                                                     : QString::fromLocal8Bit(std::strerror(why));
        TTrafficEntry entry;
        entry.Time = QDateTime::currentDateTime();
        entry.Direction = TTrafficDirection::Event;
        entry.Text = QStringLiteral("Registro: se perdieron %1 líneas (%2)").arg(lost).arg(reason);
        return TrafficLine(entry).toUtf8() + '\n';
    }

    // Writes what it can of `line` from `offset` on. A regular file gets each line whole or,
    // when the disk fills halfway, is cut back to where the line began. A pipe holds what it
    // took; the rest follows when it has room again.
    Outcome WriteLine(const QByteArray& line, qsizetype& offset)
    {
        off_t start = -1;
        if (regular && offset == 0) {
            struct stat st
            {
            };
            if (fstat(fd.Get(), &st) == 0)
                start = st.st_size;
        }
        while (offset < line.size()) {
            const ssize_t n = ::write(fd.Get(), line.constData() + offset, line.size() - offset);
            if (n > 0) {
                offset += n;
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return Outcome::Blocked;
            const int error = n == 0 ? ENOSPC : errno;
            if (regular && offset > 0 && start >= 0) [[maybe_unused]]
                const int cut = ftruncate(fd.Get(), start);
            offset = 0;
            errno = error;
            return Outcome::Failed;
        }
        return Outcome::Written;
    }

    // Waits for a new line or the stop, and with `forRoom` also for room in the sink. False when
    // stopping.
    bool Wait(bool forRoom)
    {
        pollfd fds[2] = {{wake.Get(), POLLIN, 0}, {fd.Get(), POLLOUT, 0}};
        while (poll(fds, forRoom ? 2 : 1, -1) < 0 && errno == EINTR) {
        }
        if (fds[0].revents & POLLIN) {
            quint64 count = 0;
            [[maybe_unused]] const ssize_t n = ::read(wake.Get(), &count, sizeof count);
        }
        const std::lock_guard lock(mutex);
        return !stop;
    }

    // Hands one line to the sink, waiting while it takes nothing. False when leaving before
    // it could begin; a line begun is finished if the sink allows before the program ends.
    Outcome Put(const QByteArray& line)
    {
        qsizetype offset = 0;
        Outcome outcome;
        while ((outcome = WriteLine(line, offset)) == Outcome::Blocked)
            if (!Wait(true) && offset == 0)
                break;
        return outcome;
    }

    // One try to leave the count of what the program's end leaves behind: the sink may have
    // room now or very soon; a pipe that stays full gets nothing, never part of the line.
    void PutLastCount(quint64 lost, int why)
    {
        if (lost == 0)
            return;
        const QByteArray line = LostLine(lost, why);
        qsizetype offset = 0;
        pollfd room{fd.Get(), POLLOUT, 0};
        while (WriteLine(line, offset) == Outcome::Blocked && offset == 0) {
            if (poll(&room, 1, LastCountWaitMs) <= 0)
                return;
        }
    }

    // Hands the queued lines to the sink one after the other until told to stop.
    void Run()
    {
        // A FIFO whose reader left answers with SIGPIPE, which must not end the program.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

        quint64 lost = 0; // not in the file since the last line that got there
        int why = NotTakenInTime;
        bool countRefused = false; // the count alone failed: it waits for the next line
        while (true) {
            QueuedLine next;
            bool haveLine = false;
            {
                std::unique_lock lock(mutex);
                busy = false;
                if (queue.empty()) {
                    // Lines lost after the last one queued are told without waiting for another
                    // line, which may never come.
                    if (lostAfterQueue > 0) {
                        lost += lostAfterQueue;
                        why = lostWhy;
                        lostAfterQueue = 0;
                        countRefused = false;
                    }
                    if (lost == 0 || countRefused) {
                        if (stop)
                            break;
                        finished.notify_all();
                        lock.unlock();
                        Wait(false);
                        continue;
                    }
                } else {
                    next = std::move(queue.front());
                    queue.pop_front();
                    queuedBytes -= next.line.size();
                    haveLine = true;
                    countRefused = false;
                }
                busy = true;
            }
            if (next.lostBefore > 0) {
                lost += next.lostBefore;
                why = next.why;
            }
            // The count goes first, so that it stands where the gap is.
            Outcome outcome = lost > 0 ? Put(LostLine(lost, why)) : Outcome::Written;
            if (outcome == Outcome::Written) {
                lost = 0;
                if (haveLine)
                    outcome = Put(next.line);
            }
            if (outcome == Outcome::Blocked) {
                lost += haveLine ? 1 : 0;
                break; // leaving
            }
            if (outcome == Outcome::Failed) {
                why = errno;
                WarnOnce(why);
                lost += haveLine ? 1 : 0;
                countRefused = !haveLine;
            }
        }
        // Leaving: what is still queued will not reach the sink; it is counted with the rest.
        {
            const std::lock_guard lock(mutex);
            for (const QueuedLine& line : queue)
                lost += line.lostBefore + 1;
            lost += lostAfterQueue;
            queue.clear();
            queuedBytes = 0;
            lostAfterQueue = 0;
        }
        PutLastCount(lost, why);
        const std::lock_guard lock(mutex);
        done = true;
        finished.notify_all();
    }
};

TTrafficLog::TTrafficLog(std::shared_ptr<Sink> sink) : sink_(std::move(sink))
{
    std::thread([sink = sink_] { sink->Run(); }).detach();
}

TTrafficLog::~TTrafficLog()
{
    std::unique_lock lock(sink_->mutex);
    sink_->stop = true;
    sink_->Wake();
    // A thread stuck in a write that no signal interrupts (a stalled network share) stays
    // behind with its own reference to the sink; the program's end takes it.
    sink_->finished.wait_for(lock, StopGrace, [this] { return sink_->done; });
}

bool TTrafficLog::Drain(std::chrono::milliseconds limit)
{
    std::unique_lock lock(sink_->mutex);
    return sink_->finished.wait_for(lock, limit, [this] {
        return sink_->done || (sink_->queue.empty() && !sink_->busy && sink_->lostAfterQueue == 0);
    });
}

std::unique_ptr<TTrafficLog> TTrafficLog::Open(const QString& path, QString& error)
{
    // Without a reader, opening a FIFO for writing would wait for one for ever; non-blocking it
    // fails at once with ENXIO. Writes stay non-blocking, so a full pipe never holds the writer.
    const QByteArray name = QFile::encodeName(path);
    auto sink = std::make_shared<Sink>();
    sink->path = path;
    sink->fd.Reset(
        ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666));
    if (!sink->fd.IsOpen()) {
        const int why = errno;
        error = why == ENXIO
                    ? QStringLiteral("cannot open the traffic log %1: it is a FIFO that no "
                                     "program reads; start the reader first")
                          .arg(path)
                    : QStringLiteral("cannot open the traffic log %1: %2")
                          .arg(path, QString::fromStdString(UntranslatedError(why)));
        return nullptr;
    }
    struct stat st
    {
    };
    sink->regular = fstat(sink->fd.Get(), &st) == 0 && S_ISREG(st.st_mode);
    sink->wholeWrites = !sink->regular;
    sink->wake.Reset(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!sink->wake.IsOpen()) {
        error = QStringLiteral("cannot write the traffic log %1: %2")
                    .arg(path, QString::fromStdString(UntranslatedError(errno)));
        return nullptr;
    }
    return std::unique_ptr<TTrafficLog>(new TTrafficLog(std::move(sink)));
}

void TTrafficLog::Follow(const TTrafficRecord& record)
{
    connect(&record, &TTrafficRecord::Added, this, &TTrafficLog::Write);
}

namespace {

// The entry's line, or for a sink that takes whole writes of PIPE_BUF bytes only, as many lines
// of the entry's parts as it takes to fit: each one a whole line with the entry's time and
// direction, which a reader takes for consecutive reads or events.
void AddLines(const TTrafficEntry& entry, bool wholeWrites, QList<QByteArray>& lines)
{
    QByteArray line = TrafficLine(entry).toUtf8() + '\n';
    const qsizetype half = qMax(entry.Bytes.size(), entry.Text.size()) / 2;
    if (!wholeWrites || line.size() <= PIPE_BUF || half == 0) {
        lines.append(std::move(line));
        return;
    }
    TTrafficEntry part = entry;
    part.Bytes = entry.Bytes.left(half);
    part.Text = entry.Text.left(half);
    AddLines(part, wholeWrites, lines);
    part.Bytes = entry.Bytes.mid(half);
    part.Text = entry.Text.mid(half);
    AddLines(part, wholeWrites, lines);
}

} // namespace

void TTrafficLog::Write(const TTrafficEntry& entry)
{
    QList<QByteArray> lines;
    AddLines(entry, sink_->wholeWrites, lines);
    for (QByteArray& line : lines)
        Queue(std::move(line));
    sink_->Wake();
}

void TTrafficLog::Queue(QByteArray line)
{
    {
        const std::lock_guard lock(sink_->mutex);
        if (sink_->queuedBytes + line.size() > MaxQueuedBytes) {
            ++sink_->lostAfterQueue;
            sink_->lostWhy = NotTakenInTime;
            sink_->WarnOnce(NotTakenInTime);
            return;
        }
        sink_->queuedBytes += line.size();
        sink_->queue.push_back({std::move(line), sink_->lostAfterQueue, sink_->lostWhy});
        sink_->lostAfterQueue = 0;
    }
}
