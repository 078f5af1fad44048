#include "serial/VaCommThreads.h"

#include "platform/LineWatch.h"
#include "platform/ThreadPriority.h"
#include "platform/UiCall.h"
#include "runtime/ErrorReport.h"
#include "runtime/Format.h"
#include "runtime/TimeBase.h"
#include "serial/VaComm.h"

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <stdexcept>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

// A call that failed for no known reason is tried again after this pause, not at once: a
// failure that persists must not become a busy loop.
constexpr int RetryPauseMs = 100;
constexpr int WriteSliceMs = 1000;
// The writer leaves the queue to callers that came to it this recently...
constexpr std::chrono::milliseconds HoldOff(1);
// ... looks at it again this often while they are busy ...
constexpr int TickMs = 1;
// ... and keeps doing so this long after one of them last left bytes behind.
constexpr std::chrono::milliseconds Linger(5);

// The platform's line events beside the port's event-mask bits: the one place where one
// becomes the other.
struct EventBits
{
    quint32 Line;
    quint32 Comm;
};
constexpr EventBits LineEventBits[] = {
    {LineEvent::RxChar, CommEv::RxChar}, {LineEvent::TxEmpty, CommEv::TxEmpty},
    {LineEvent::Cts, CommEv::Cts},       {LineEvent::Dsr, CommEv::Dsr},
    {LineEvent::Rlsd, CommEv::Rlsd},     {LineEvent::Break, CommEv::Break},
    {LineEvent::Err, CommEv::Err},       {LineEvent::Ring, CommEv::Ring},
};

// The bits of one vocabulary that the bits of the other one name.
quint32 Translate(quint32 bits, quint32 EventBits::*from, quint32 EventBits::*to)
{
    quint32 out = 0;
    for (const EventBits& pair : LineEventBits) {
        if (bits & pair.*from)
            out |= pair.*to;
    }
    return out;
}

quint32 LineEventsOf(quint32 commEvents)
{
    return Translate(commEvents, &EventBits::Comm, &EventBits::Line);
}

quint32 CommEventsOf(quint32 lineEvents)
{
    return Translate(lineEvents, &EventBits::Line, &EventBits::Comm);
}

} // namespace

// --- common ---------------------------------------------------------------------------------

TVaCommThread::~TVaCommThread()
{
    if (!thread_.joinable())
        return;
    if (thread_.get_id() == std::this_thread::get_id())
        thread_.detach();
    else
        thread_.join();
}

void TVaCommThread::Start()
{
    thread_ = std::thread([this] { Run(); });
}

void TVaCommThread::Join()
{
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

void TVaCommThread::Run()
{
    {
        std::lock_guard lock(priorityLock_);
        tid_ = CurrentThreadId();
        ApplyThreadNice(tid_, ThreadNiceOffset(priority_));
    }
    // Nothing may unwind out of a thread (that ends the program): a failure is reported on the
    // port's thread and this thread ends, as if stopped. The port stays open; a full queue
    // then shows in WriteBuf.
    // The thread counts as ended before its failure is reported, so whoever handles the report
    // already sees it ended.
    try {
        Execute();
    } catch (const std::exception& e) {
        MarkTerminated();
        ReportFailure(e);
    } catch (...) {
        MarkTerminated();
        ReportFailure(std::runtime_error("Unknown error"));
    }
    MarkTerminated();
    std::lock_guard lock(priorityLock_);
    tid_ = 0;
}

void TVaCommThread::ReportFailure(const std::exception& failure)
{
    QString message;
    if (const auto* system = dynamic_cast<const std::system_error*>(&failure)) {
        const int error = system->code().value();
        message = Format(QStringLiteral("Error in the port's background thread (%d), %s"),
                         {error, SystemErrorText(error)});
    } else {
        message = QString::fromLocal8Bit(failure.what());
    }
    try {
        UiCall::Send(port_.UiCalls, [message] { ReportError(message); });
    } catch (...) {
        // Not even a message could be queued (no memory): the thread still ends cleanly.
    }
}

void TVaCommThread::SetPriority(TThreadPriority priority)
{
    std::lock_guard lock(priorityLock_);
    priority_ = priority;
    if (tid_ != 0)
        ApplyThreadNice(tid_, ThreadNiceOffset(priority_));
}

int TVaCommThread::Nice() const
{
    std::lock_guard lock(priorityLock_);
    return tid_ != 0 ? ThreadNice(tid_) : 0;
}

std::shared_ptr<UiCall> TVaCommThread::HandOver(std::function<void()> fn, int stopFd, int alsoEnd)
{
    std::shared_ptr<UiCall> call = UiCall::Post(port_.UiCalls, std::move(fn));
    while (WaitForReadable({stopFd, call->DoneFd(), alsoEnd}, -1) == -2) {
        if (errno != EINTR && WaitForReadable({stopFd}, RetryPauseMs) == 0)
            break;
    }
    return call;
}

// --- event thread ---------------------------------------------------------------------------

TVaCommEventThread::TVaCommEventThread(TVaCommThreadPort port, int fd, quint32 mask,
                                       const LineActivity& activity,
                                       std::function<void()> handleRxChar)
    : TVaCommThread(std::move(port)), mask_(mask), handleRxChar_(std::move(handleRxChar)),
      watch_(std::make_unique<LineWatch>(fd, LineEventsOf(mask_), activity))
{
}

TVaCommEventThread::~TVaCommEventThread()
{
    // The watcher goes with this object: the thread must have left it.
    Stop();
    Join();
}

void TVaCommEventThread::Stop()
{
    MarkTerminated();
    Event.Signal();
}

void TVaCommEventThread::Execute()
{
    while (!Terminated()) {
        const quint32 events = watch_->Wait(Event.Handle(), WriteEvent.Handle());
        if (Terminated())
            break;
        // A device that went away is reported once, as whatever the port watches of it; the
        // port's query then meets the error and closes the port.
        const quint32 found = (events & LineEvent::Gone) ? mask_ & (CommEv::Err | CommEv::RxChar)
                                                         : CommEventsOf(events);
        if (found == 0) {
            // Woken by a finished write: the next Wait looks at the output queue.
            WriteEvent.Unsignal();
            continue;
        }
        auto self = std::static_pointer_cast<TVaCommEventThread>(shared_from_this());
        HandOver([self, found] { self->DispatchEvents(found); }, Event.Handle());
    }
}

void TVaCommEventThread::DispatchEvents(quint32 mask)
{
    // A batch that was still queued when the port closed belongs to a device that is gone.
    if (Terminated())
        return;
    EvtMask = mask;
    ReportErrors([this] {
        if (EvtMask & CommEv::RxChar) {
            handleRxChar_();
            EvtMask &= ~CommEv::RxChar;
        }
        if (EvtMask != 0)
            Port().HandleEvents(EvtMask);
    });
}

// --- write thread ---------------------------------------------------------------------------

TVaCommWriteThread::TVaCommWriteThread(TVaCommThreadPort port, SerialDevice& device,
                                       TVaCriticalSection& writeLock, const TVaBuffers& buffers)
    : TVaCommThread(std::move(port)), Buffer(buffers.WriteSize()), device_(device),
      writeLock_(writeLock), buffers_(buffers)
{
}

TVaCommWriteThread::~TVaCommWriteThread()
{
    // The queue and the events go with this object: the thread must have left them.
    Stop();
    Join();
}

void TVaCommWriteThread::Stop()
{
    MarkTerminated();
    StopEvent.Signal();
}

bool TVaCommWriteThread::Queue(const char* data, int count)
{
    count = std::max(count, 0);
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(TimeBase::RealMs(buffers_.WriteTimeout()));
    bool waitingForLine = false;
    for (;;) {
        int error = 0;
        {
            std::lock_guard lock(writeLock_);
            lastQueue_ = Clock::now();
            if (waitingForLine)
                --lineWaiters_;
            waitingForLine = false;
            // A caller that finds bytes queued hands the line what it takes of them first: room
            // then follows the line at once, not a wake-up of the writer.
            if (Buffer.Size() > 0)
                error = SendQueued();
            if (qint64(Buffer.Size()) + count <= Buffer.Capacity()) {
                // Nothing queued: the driver takes what it can at once, and only the rest waits
                // for the writer. A caller that keeps up with the device never waits for a
                // thread to wake.
                int taken = 0;
                if (Buffer.Size() == 0 && count > 0)
                    device_.WriteSome(data, count, 0, -1, taken);
                if (taken < count) {
                    Buffer.Append(data + taken, count - taken);
                    lastLeftover_ = lastQueue_;
                }
                unreported_ = true;
                // A writer that watches the queue needs no wake-up, and a transmit-empty
                // report still to be served covers this drain too.
                if (!watching_ && (Buffer.Size() > 0 || !txEmptyPosted_))
                    DataEvent.Signal();
                return true;
            }
            // Cleared under the lock: a writer that makes room after this point signals it.
            WriteDoneEvent.Unsignal();
            // A write too big for the queue gets no help from the line, nor does a failed line.
            if (error == 0 && Buffer.Size() > 0) {
                // The writer leaves the queue to us meanwhile.
                ++lineWaiters_;
                waitingForLine = true;
            }
        }
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            std::lock_guard lock(writeLock_);
            if (waitingForLine)
                --lineWaiters_;
            // What is left queued is the writer's again.
            if (!watching_ && Buffer.Size() > 0)
                DataEvent.Signal();
            return false;
        }
        const int ms = int(std::min<long long>(left, 1 << 30));
        // Sleeps until the line takes bytes again or the writer makes room, instead of spinning
        // on the size. A device that fails is left to the writer, which reports it.
        bool woken = false;
        if (waitingForLine && device_.WaitForRoom(ms, WriteDoneEvent.Handle(), woken) == 0)
            continue;
        if (waitingForLine) {
            // The line failed: the writer meets the failure and reports it.
            std::lock_guard lock(writeLock_);
            --lineWaiters_;
            waitingForLine = false;
            if (!watching_)
                DataEvent.Signal();
        }
        WaitForReadable({WriteDoneEvent.Handle()}, ms);
    }
}

int TVaCommWriteThread::SendQueued()
{
    int taken = 0;
    const int error = device_.WriteSome(Buffer.Data(), Buffer.Size(), 0, -1, taken);
    Buffer.Consume(taken);
    return error;
}

bool TVaCommWriteThread::StopWithin(int ms)
{
    return WaitForReadable({StopEvent.Handle()}, ms) == 0;
}

void TVaCommWriteThread::Execute()
{
    // How the writer waits before its next look at the queue.
    enum class Next
    {
        Sleep, // until signalled: nothing queued, no caller busy
        Tick,  // a moment: a caller is busy with a full line and sends the queue itself
        Go     // at once
    };
    Next next = Next::Sleep;
    while (!Terminated()) {
        if (next == Next::Tick && StopWithin(TickMs))
            break;
        if (next == Next::Sleep) {
            const int which = WaitForReadable({StopEvent.Handle(), DataEvent.Handle()}, -1);
            if (which == 0)
                break;
            if (which < 0) {
                if (StopWithin(RetryPauseMs))
                    break;
                continue;
            }
        }
        // Writes never wait here, so they are made under the lock, like a caller's: the queue
        // and the line see the bytes in one order whoever sends them.
        int error = 0;
        bool room = false;
        bool report = false;
        bool holdOff = false;
        {
            std::lock_guard lock(writeLock_);
            const Clock::time_point now = Clock::now();
            const int before = Buffer.Size();
            // While a caller keeps writing into a full line, it sends the queue itself as the
            // line takes bytes; the writer steps in once callers have left it alone for a
            // moment, instead of contending with them for the lock and the line.
            holdOff = before > 0 && (lineWaiters_ > 0 || now - lastQueue_ < HoldOff);
            if (before > 0 && !holdOff)
                error = SendQueued();
            room = Buffer.Size() < before;
            if (Buffer.Size() == 0) {
                // The empty check and the clearing of DataEvent under one lock: bytes that Queue
                // adds afterwards signal it again, or are seen on the next tick.
                DataEvent.Unsignal();
                report = unreported_;
                unreported_ = false;
            }
            // Callers that meet a full line come back soon with more: looking again after a
            // tick costs less than a wake-up for each of their leftovers. A caller waiting for
            // the line signals when it stops waiting.
            watching_ = lineWaiters_ == 0 && (Buffer.Size() > 0 || now - lastLeftover_ < Linger);
            if (!watching_)
                DataEvent.Unsignal();
            next = !watching_ ? Next::Sleep : holdOff || Buffer.Size() == 0 ? Next::Tick : Next::Go;
        }
        if (room)
            WriteDoneEvent.Signal();
        if (report)
            NotifyTxEmpty();
        if (error == 0 && next == Next::Go && !room) {
            // The line takes nothing now. Bounded, so that a writer stalled by the line still
            // looks at its stop event.
            bool stopped = false;
            error = device_.WaitForRoom(WriteSliceMs, StopEvent.Handle(), stopped);
        }
        if (error != 0 && !WriteFailed(error))
            break;
    }
    MarkTerminated();
}

void TVaCommWriteThread::NotifyTxEmpty()
{
    // The UI thread may be the writer itself, waiting in Queue for room: the writer must not sit
    // in this hand-over then, so new data ends the wait and the call is served later. One call
    // waiting to be served is enough: it runs after this drain as well.
    {
        std::lock_guard lock(writeLock_);
        if (txEmptyPosted_)
            return;
        txEmptyPosted_ = true;
        // Waiting for the hand-over, the writer looks at nothing: callers must signal.
        watching_ = false;
    }
    auto self = std::static_pointer_cast<TVaCommWriteThread>(shared_from_this());
    HandOver(
        [self] {
            // Cleared before the handler runs: a drain after this point needs a report of its
            // own, one before it is seen by this handler.
            {
                std::lock_guard lock(self->writeLock_);
                self->txEmptyPosted_ = false;
                self->unreported_ = false;
            }
            if (!self->Terminated())
                ReportErrors([&] { self->Port().HandleEvents(CommEv::TxEmpty); });
        },
        StopEvent.Handle(), DataEvent.Handle());
}

bool TVaCommWriteThread::WriteFailed(int error)
{
    auto self = std::static_pointer_cast<TVaCommWriteThread>(shared_from_this());
    HandOver(
        [self] {
            if (!self->Terminated())
                ReportErrors([&] { self->Port().HandleEvents(CommEv::Err); });
        },
        StopEvent.Handle());
    if (Terminated() || StopWithin(0))
        return false;
    // A device that went away takes no more bytes: report it once and wait to be stopped.
    if (IsDeviceGone(error)) {
        StopWithin(-1);
        return false;
    }
    // The same bytes are tried again after a pause.
    return !StopWithin(RetryPauseMs);
}
