#pragma once

#include "platform/win32/UniqueHandle.h"

#include <QObject>

#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

// Receives the calls that worker threads hand to the thread it lives on (the UI thread). Calls
// still queued when it is destroyed are dropped without running: make it a child of the object
// the calls use, and they can never reach that object after its end.
class UiCallTarget : public QObject
{
public:
    explicit UiCallTarget(QObject* parent) : QObject(parent) {}
    bool event(QEvent* e) override;
};

// A call handed from a worker thread to the UI thread. The worker waits for DoneEvent() together
// with its own stop event, so a UI thread that is itself waiting for the worker (joining it) can
// always end the wait with the stop event: a blocking queued connection would deadlock there.
class UiCall
{
public:
    UiCall(const UiCall&) = delete;
    UiCall& operator=(const UiCall&) = delete;

    // Queues fn to run on the thread of target. fn must not throw: the UI thread's event loop
    // is below it. Throws std::system_error when the system has no event left to give.
    static std::shared_ptr<UiCall> Post(UiCallTarget* target, std::function<void()> fn);
    // Queues fn without a way to wait for it (needs no event handle).
    static void Send(UiCallTarget* target, std::function<void()> fn);

    // Signalled once the call has run.
    HANDLE DoneEvent() const { return done_.Get(); }
    bool Done() const { return WaitForSingleObject(done_.Get(), 0) == WAIT_OBJECT_0; }

private:
    friend class UiCallTarget;
    UiCall();
    void MarkDone() { SetEvent(done_.Get()); }
    UniqueHandle done_;
};

// Waits until one of the handles (nullptr entries are skipped) is signalled. Returns its index
// in the list, -1 on time-out and -2 on failure (GetLastError tells why). The first signalled
// one in the list wins.
int WaitForSignalled(std::initializer_list<HANDLE> handles, int timeoutMs);
int WaitForSignalled(const std::vector<HANDLE>& handles, int timeoutMs);
