#pragma once

#include "platform/SignalEvent.h"

#include <QObject>

#include <functional>
#include <memory>

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
    // Queues fn without a way to wait for it. Needs no event, so it also works when the system
    // has none left to give (to report just that).
    static void Send(UiCallTarget* target, std::function<void()> fn);

    // Signalled once the call has run.
    Waitable DoneEvent() const { return done_.Handle(); }
    bool Done() const { return done_.IsSet(); }

private:
    friend class UiCallTarget;
    UiCall() = default;
    void MarkDone() { done_.Set(); }
    SignalEvent done_;
};
