#pragma once

#include "platform/SignalEvent.h"
#include "platform/ThreadPriority.h"
#include "serial/VaClasses.h"

#include <QtGlobal>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class TVaCustomComm;
class UiCall;
class UiCallTarget;
class LineWatch;
class SerialDevice;
struct LineActivity;
class TVaBuffers;

// What every background thread is given of its port: where its hand-overs are served and the
// port's event handling to run there. The threads reach the port through nothing else.
struct TVaCommThreadPort
{
    // The port the thread belongs to; only named, never reached through.
    TVaCustomComm* Comm = nullptr;
    // Lives on the port's thread; calls still queued when it goes are dropped with it.
    UiCallTarget* UiCalls = nullptr;
    // Raises the port's events of a mask (on the port's thread).
    std::function<void(quint32 mask)> HandleEvents;
};

// Base of the port's background threads: created suspended, started, told to stop. Every wait
// of a thread also watches its stop event, so a stopped thread leaves within microseconds and
// joining it never waits for the device or for the UI thread.
class TVaCommThread : public std::enable_shared_from_this<TVaCommThread>
{
public:
    explicit TVaCommThread(TVaCommThreadPort port) : Comm(port.Comm), port_(std::move(port)) {}
    virtual ~TVaCommThread();
    TVaCommThread(const TVaCommThread&) = delete;
    TVaCommThread& operator=(const TVaCommThread&) = delete;

    void Start();
    // Marks the thread terminated and ends its current wait; does not wait for it.
    virtual void Stop() = 0;
    // Waits until Execute has returned (after Stop).
    void Join();
    bool Terminated() const { return terminated_.load(); }
    // Applied at once when the thread runs, otherwise when it starts.
    void SetPriority(TThreadPriority priority);
    // The thread's nice value, for tests; 0 before it started.
    int Nice() const;

    TVaCustomComm* const Comm;

protected:
    virtual void Execute() = 0;
    // Runs fn on the port's (UI) thread and waits until it has run there, the stop event is
    // signalled or (when given) `alsoEnd` is. Returns the pending call. The call must hold the
    // thread only weakly (weak_from_this): a thread object whose last owner were its own thread
    // would be freed under its running Execute.
    std::shared_ptr<UiCall> HandOver(std::function<void()> fn, Waitable stop,
                                     Waitable alsoEnd = NoWaitable);
    void MarkTerminated() { terminated_.store(true); }
    const TVaCommThreadPort& Port() const { return port_; }

private:
    void Run();
    void ReportFailure(const std::exception& failure);
    const TVaCommThreadPort port_;
    std::thread thread_;
    std::atomic<bool> terminated_{false};
    mutable std::mutex priorityLock_;
    TThreadPriority priority_ = tpNormal;
    pid_t tid_ = 0;
};

// Waits for the line events of the port's EventMask and hands each batch to the UI thread,
// where DispatchEvents raises the port's events.
class TVaCommEventThread : public TVaCommThread
{
public:
    // Watches the open device for the events of mask (CommEv bits); activity tells of the
    // port's own reads and writes, rxLimit is where the input queue counts as 80 % full. On the
    // port's thread, takeArrivals (when given: the driver does not look for the event character
    // itself) takes new bytes in to look for it and returns RxFlag when it came; handleRxChar
    // announces received bytes.
    TVaCommEventThread(TVaCommThreadPort port, SerialDevice& device, quint32 mask,
                       const LineActivity& activity, quint32 rxLimit,
                       std::function<quint32()> takeArrivals, std::function<void()> handleRxChar);
    ~TVaCommEventThread() override;

    void Stop() override;
    // Tells the thread that a direct write finished (for transmit-empty).
    void WriteFinished() { WriteEvent.Signal(); }
    // On the UI thread: received bytes first, then the other events in their fixed order. A
    // handler's error goes to the application's handler; the thread goes on.
    void DispatchEvents(quint32 mask);

    TVaWaitEvent Event; // signalled by Stop
    TVaWaitEvent WriteEvent;
    // The batch being dispatched (on the UI thread; the thread hands each batch over by value).
    quint32 EvtMask = 0;

protected:
    void Execute() override;

private:
    const quint32 mask_;
    const std::function<quint32()> takeArrivals_;
    const std::function<void()> handleRxChar_;
    std::unique_ptr<LineWatch> watch_;
};

// Drains the write queue into the device and reports each time the queue has run empty and the
// device has sent it all.
// Callers only copy their bytes into the queue; this thread alone writes them to the device,
// from the queue's front, and takes them out of the queue once the device has them.
class TVaCommWriteThread : public TVaCommThread
{
public:
    // Writes into device; writeLock guards the queue (the port's write lock); buffers gives the
    // queue's capacity (WriteSize, at creation) and the wait for room (WriteTimeout, at each
    // Queue). All three are the port's and outlive the thread.
    TVaCommWriteThread(TVaCommThreadPort port, SerialDevice& device, TVaCriticalSection& writeLock,
                       const TVaBuffers& buffers);
    ~TVaCommWriteThread() override;

    void Stop() override;
    // On the caller's thread: copies the bytes into the queue, waiting (asleep) at most
    // WriteTimeout for room. False when they found no room in time; then nothing was queued.
    bool Queue(const char* data, int count);
    // Bytes queued and not yet written.
    int Queued() const;

    TVaCommBuffer Buffer;
    TVaWaitEvent DataEvent;      // bytes are queued, or a write of nothing is to be reported
    TVaWaitEvent StopEvent;      // signalled by Stop
    TVaWaitEvent WriteDoneEvent; // the writer took bytes out of the queue: room for Queue

protected:
    void Execute() override;

private:
    // The device took count bytes of the queue's front (0: a write of nothing).
    void WriteDone(int count);
    // After a drain: waits until the driver has sent the bytes too. False when the thread was
    // stopped or new bytes came first.
    bool WaitUntilSent();
    void NotifyTxEmpty();
    // On the port's thread: OnTxEmpty, when the queue is still empty.
    void RaiseTxEmpty();
    // A write failed: raise the error event on the UI thread. False when the thread must end.
    bool WriteFailed(int error);
    // Waits on StopEvent alone for at most ms (-1: no limit); true when it was signalled.
    bool StopWithin(int ms);

    SerialDevice& device_;
    TVaCriticalSection& writeLock_;
    const TVaBuffers& buffers_;
    // A transmit-empty report waits for the port's thread and has not started (under
    // writeLock_). A drain meanwhile needs no report of its own: that one runs after it.
    bool txEmptyPosted_ = false;
};
