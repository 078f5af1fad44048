#pragma once

#include "serial/VaClasses.h"

#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <sys/types.h>
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
    // signalled or (when given) `alsoEnd` is. Returns the pending call.
    std::shared_ptr<UiCall> HandOver(std::function<void()> fn, int stopFd, int alsoEnd = -1);
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
    // Watches the open descriptor fd for the events of mask (CommEv bits); handleRxChar announces
    // received bytes on the port's thread. activity tells of the port's own reads and writes.
    TVaCommEventThread(TVaCommThreadPort port, int fd, quint32 mask, const LineActivity& activity,
                       std::function<void()> handleRxChar);
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
    const std::function<void()> handleRxChar_;
    std::unique_ptr<LineWatch> watch_;
};

// Drains the write queue into the device and reports each time the queue has run empty.
//
// The driver's own output buffer comes first: Queue hands it what it takes at once when nothing
// is queued, and a caller waiting for room sends the queue's front itself as the line takes
// bytes. The thread sends what callers leave behind once they have left the queue alone for a
// moment, so that a caller keeping up with the device never waits for a thread to wake. Every
// send is a non-blocking write made under the write lock, so the bytes reach the line in the
// order they were queued, whoever sends them.
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
    // On the caller's thread: hands the bytes to the driver or copies them into the queue,
    // waiting at most WriteTimeout for room. False when they found no room in time; then
    // nothing of them was sent or queued.
    bool Queue(const char* data, int count);

    TVaCommBuffer Buffer;
    TVaWaitEvent DataEvent;      // bytes are queued, or a drain is to be reported
    TVaWaitEvent StopEvent;      // signalled by Stop
    TVaWaitEvent WriteDoneEvent; // the writer took bytes out of the queue: room for Queue

protected:
    void Execute() override;

private:
    // Hands the driver what it takes now of the queue's front, and removes that from the queue
    // (under writeLock_). Returns the device's error, 0 also when it took nothing.
    int SendQueued();
    void NotifyTxEmpty();
    // A write failed: raise the error event on the UI thread. False when the thread must end.
    bool WriteFailed(int error);
    // Waits on StopEvent alone for at most ms (-1: no limit); true when it was signalled.
    bool StopWithin(int ms);

    SerialDevice& device_;
    TVaCriticalSection& writeLock_;
    const TVaBuffers& buffers_;
    // A transmit-empty report is queued for the port's thread and its handler has not started
    // (under writeLock_).
    bool txEmptyPosted_ = false;
    // Bytes were queued or sent since the last transmit-empty report (under writeLock_).
    bool unreported_ = false;
    // The writer looks at the queue again soon without being signalled (under writeLock_).
    bool watching_ = false;
    // Callers in Queue waiting for the line to take bytes (under writeLock_).
    int lineWaiters_ = 0;
    // When a caller last came to Queue, and when one last left bytes queued (under writeLock_).
    std::chrono::steady_clock::time_point lastQueue_;
    std::chrono::steady_clock::time_point lastLeftover_;
};
