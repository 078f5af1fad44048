#include "printer/TrafficLog.h"

#include "platform/SystemError.h"
#include "printer/TrafficFormat.h"
#include "printer/TrafficRecord.h"
#include "printer/TrafficSink.h"

#include <QDateTime>
#include <QFile>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

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
    // Lines lost just before this one, and why (the system's error number, or NotTakenInTime).
    quint64 lostBefore = 0;
    int why = NotTakenInTime;
};

} // namespace

using Outcome = TTrafficSink::Outcome;

struct TTrafficLog::Sink
{
    QString path;
    std::unique_ptr<TTrafficSink> file;
    // Every line in one write of at most WholeWriteBytes (a pipe), rather than cut back after a
    // write that failed halfway (a regular file).
    bool wholeWrites = false;
    int error = 0; // why the last write failed

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

    void Wake() const { file->Wake(); }

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
        const QString reason = why == NotTakenInTime
                                   ? QStringLiteral("el archivo no las recibía a tiempo")
                                   : TTrafficSink::ReasonText(why);
        TTrafficEntry entry;
        entry.Time = QDateTime::currentDateTime();
        entry.Direction = TTrafficDirection::Event;
        entry.Text = QStringLiteral("Registro: se perdieron %1 líneas (%2)").arg(lost).arg(reason);
        return TrafficLine(entry).toUtf8() + '\n';
    }

    // Waits for a new line or the stop, and with `forRoom` also for room in the sink. False when
    // stopping.
    bool Wait(bool forRoom)
    {
        file->Wait(true, forRoom, -1);
        const std::lock_guard lock(mutex);
        return !stop;
    }

    // Hands one line to the sink, waiting while it takes nothing. False when leaving before
    // it could begin; a line begun is finished if the sink allows before the program ends.
    Outcome Put(const QByteArray& line)
    {
        qsizetype offset = 0;
        Outcome outcome;
        while ((outcome = file->Write(line, offset, error)) == Outcome::Blocked)
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
        while (file->Write(line, offset, error) == Outcome::Blocked && offset == 0) {
            if (!file->Wait(false, true, LastCountWaitMs))
                return;
        }
    }

    // Hands the queued lines to the sink one after the other until told to stop.
    void Run()
    {
        TTrafficSink::PrepareWriterThread();

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
                why = error;
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
    auto sink = std::make_shared<Sink>();
    sink->path = path;
    sink->file = TTrafficSink::Open(path, error);
    if (!sink->file)
        return nullptr;
    sink->wholeWrites = !sink->file->Regular();
    return std::unique_ptr<TTrafficLog>(new TTrafficLog(std::move(sink)));
}

void TTrafficLog::Follow(const TTrafficRecord& record)
{
    connect(&record, &TTrafficRecord::Added, this, &TTrafficLog::Write);
}

namespace {

// The entry's line, or for a sink that takes whole writes of WholeWriteBytes only, as many lines
// of the entry's parts as it takes to fit: each one a whole line with the entry's time and
// direction, which a reader takes for consecutive reads or events.
void AddLines(const TTrafficEntry& entry, bool wholeWrites, QList<QByteArray>& lines)
{
    QByteArray line = TrafficLine(entry).toUtf8() + '\n';
    const qsizetype half = qMax(entry.Bytes.size(), entry.Text.size()) / 2;
    if (!wholeWrites || line.size() <= TTrafficSink::WholeWriteBytes || half == 0) {
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
