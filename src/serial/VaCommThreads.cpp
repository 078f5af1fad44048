#include "serial/VaCommThreads.h"

#include "platform/LineWatch.h"
#include "platform/SignalEvent.h"
#include "platform/ThreadPriority.h"
#include "platform/UiCall.h"
#include "runtime/ErrorReport.h"
#include "runtime/Format.h"
#include "runtime/TimeBase.h"
#include "serial/VaComm.h"

#include <chrono>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

// A call that failed for no known reason is tried again after this pause, not at once: a
// failure that persists must not become a busy loop.
constexpr int RetryPauseMs = 100;
constexpr int WriteSliceMs = 1000;

// The platform's line events beside the port's event-mask bits: the one place where one
// becomes the other.
struct EventBits
{
    quint32 Line;
    quint32 Comm;
};
constexpr EventBits LineEventBits[] = {
    {LineEvent::RxChar, CommEv::RxChar},     {LineEvent::RxFlag, CommEv::RxFlag},
    {LineEvent::TxEmpty, CommEv::TxEmpty},   {LineEvent::Cts, CommEv::Cts},
    {LineEvent::Dsr, CommEv::Dsr},           {LineEvent::Rlsd, CommEv::Rlsd},
    {LineEvent::Break, CommEv::Break},       {LineEvent::Err, CommEv::Err},
    {LineEvent::Ring, CommEv::Ring},         {LineEvent::PErr, CommEv::PErr},
    {LineEvent::Rx80Full, CommEv::Rx80Full}, {LineEvent::Event1, CommEv::Event1},
    {LineEvent::Event2, CommEv::Event2},
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

std::shared_ptr<UiCall> TVaCommThread::HandOver(std::function<void()> fn, Waitable stop,
                                                Waitable alsoEnd)
{
    std::shared_ptr<UiCall> call = UiCall::Post(port_.UiCalls, std::move(fn));
    while (WaitForAnyOf({stop, call->DoneEvent(), alsoEnd}, -1) == -2) {
        if (WaitForAnyOf({stop}, RetryPauseMs) == 0)
            break;
    }
    return call;
}

// --- event thread ---------------------------------------------------------------------------

TVaCommEventThread::TVaCommEventThread(TVaCommThreadPort port, SerialDevice& device, quint32 mask,
                                       const LineActivity& activity, quint32 rxLimit,
                                       std::function<quint32()> takeArrivals,
                                       std::function<void()> handleRxChar)
    : TVaCommThread(std::move(port)), mask_(mask), takeArrivals_(std::move(takeArrivals)),
      handleRxChar_(std::move(handleRxChar))
{
    // Where the platform cannot tell which bytes came, the port looks for the event character in
    // the bytes themselves, on every arrival.
    const quint32 arrivals = takeArrivals_ ? LineEvent::RxChar : 0;
    watch_ = std::make_unique<LineWatch>(device, LineEventsOf(mask_) | arrivals, activity, rxLimit);
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
        const quint32 found =
            (events & LineEvent::Gone)
                ? (mask_ & CommEv::Err) |
                      ((mask_ & (CommEv::RxChar | CommEv::RxFlag)) ? CommEv::RxChar : 0)
                : CommEventsOf(events);
        if (found == 0) {
            // Woken by a finished write: the next Wait looks at the output queue.
            WriteEvent.Unsignal();
            continue;
        }
        HandOver(
            [this, alive = weak_from_this(), found] {
                if (const auto keep = alive.lock())
                    DispatchEvents(found);
            },
            Event.Handle());
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
            if (takeArrivals_)
                EvtMask |= takeArrivals_();
            if (mask_ & CommEv::RxChar)
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
    for (;;) {
        {
            std::lock_guard lock(writeLock_);
            if (qint64(Buffer.Size()) + count <= Buffer.Capacity()) {
                Buffer.Append(data, count);
                DataEvent.Signal();
                return true;
            }
            // Cleared under the lock: room the writer makes after this point signals it again.
            WriteDoneEvent.Unsignal();
        }
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        // Sleeps until the writer makes room, instead of spinning on the size.
        if (WaitForAnyOf({WriteDoneEvent.Handle()}, int(std::min<long long>(left, 1 << 30))) == -2)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

int TVaCommWriteThread::Queued() const
{
    std::lock_guard lock(writeLock_);
    return Buffer.Size();
}

bool TVaCommWriteThread::StopWithin(int ms)
{
    return WaitForAnyOf({StopEvent.Handle()}, ms) == 0;
}

void TVaCommWriteThread::Execute()
{
    while (!Terminated()) {
        const int which = WaitForAnyOf({StopEvent.Handle(), DataEvent.Handle()}, -1);
        if (which == 0)
            break;
        if (which < 0) {
            if (StopWithin(RetryPauseMs))
                break;
            continue;
        }
        // Queue only appends behind Size and only this thread removes bytes, so the front can be
        // written without the lock: the block never moves while the write runs.
        const char* data = nullptr;
        int count = 0;
        {
            std::lock_guard lock(writeLock_);
            count = Buffer.Size();
            data = Buffer.Data();
        }
        if (count == 0) {
            WriteDone(0);
            continue;
        }
        // Bounded, so that a writer stalled by the line still looks at its stop event now and
        // then; the stop event itself ends the wait at once.
        int written = 0;
        const int error = device_.WriteSome(data, count, WriteSliceMs, StopEvent.Handle(), written);
        if (written > 0)
            WriteDone(written);
        else if (error != 0 && !WriteFailed(error))
            break;
    }
    MarkTerminated();
}

void TVaCommWriteThread::WriteDone(int count)
{
    {
        // The empty check and the clearing of DataEvent under one lock: bytes that Queue adds
        // afterwards signal it again and are written on the next pass.
        std::lock_guard lock(writeLock_);
        Buffer.Consume(count);
        if (count > 0)
            WriteDoneEvent.Signal();
        if (Buffer.Size() > 0)
            return;
        DataEvent.Unsignal();
    }
    if (WaitUntilSent())
        NotifyTxEmpty();
}

bool TVaCommWriteThread::WaitUntilSent()
{
    // Transmit-empty means what it means after a direct write: the line has sent every byte,
    // not only taken it. New bytes end the wait; their own drain is reported instead.
    while (!Terminated()) {
        bool sent = false;
        const int error =
            device_.WaitUntilSent(WriteSliceMs, {StopEvent.Handle(), DataEvent.Handle()}, sent);
        if (sent)
            return true;
        if (error != 0 && !WriteFailed(error))
            MarkTerminated();
        else if (WaitForAnyOf({StopEvent.Handle(), DataEvent.Handle()}, 0) >= 0)
            return false;
    }
    return false;
}

void TVaCommWriteThread::NotifyTxEmpty()
{
    {
        std::lock_guard lock(writeLock_);
        if (txEmptyPosted_)
            return;
        txEmptyPosted_ = true;
    }
    // The port's thread may be busy queueing more without serving its events: new bytes end
    // this wait, and the report is served later. It raises the event only when the queue is
    // empty by then; when it is not, the next drain posts a report of its own.
    HandOver(
        [this, alive = weak_from_this()] {
            if (const auto keep = alive.lock())
                RaiseTxEmpty();
        },
        StopEvent.Handle(), DataEvent.Handle());
}

void TVaCommWriteThread::RaiseTxEmpty()
{
    bool empty = false;
    {
        std::lock_guard lock(writeLock_);
        txEmptyPosted_ = false;
        empty = Buffer.Size() == 0;
    }
    if (!empty || Terminated())
        return;
    // Bytes queued after this report was posted may have been written meanwhile and still be
    // on their way out: the writer reports their drain once they have left (the flag above is
    // clear for it by then).
    quint32 input = 0, output = 0;
    if (device_.QueueCounts(input, output) == 0 && output > 0)
        return;
    ReportErrors([&] { Port().HandleEvents(CommEv::TxEmpty); });
}

bool TVaCommWriteThread::WriteFailed(int error)
{
    HandOver(
        [this, alive = weak_from_this()] {
            const auto keep = alive.lock();
            if (keep && !Terminated())
                ReportErrors([&] { Port().HandleEvents(CommEv::Err); });
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
