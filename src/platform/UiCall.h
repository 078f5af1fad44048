#pragma once

#include "platform/UniqueFd.h"

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

// A call handed from a worker thread to the UI thread. The worker waits for DoneFd() together
// with its own stop event, so a UI thread that is itself waiting for the worker (joining it) can
// always end the wait with the stop event: a blocking queued connection would deadlock there.
class UiCall
{
public:
    UiCall(const UiCall&) = delete;
    UiCall& operator=(const UiCall&) = delete;

    // Queues fn to run on the thread of target. fn must not throw: the UI thread's event loop
    // is below it.
    static std::shared_ptr<UiCall> Post(UiCallTarget* target, std::function<void()> fn);
    // Queues fn without a way to wait for it. Needs no descriptor, so it also works when the
    // descriptor table is full (to report just that).
    static void Send(UiCallTarget* target, std::function<void()> fn);

    // Readable once the call has run.
    int DoneFd() const { return done_.Get(); }
    bool Done() const;

private:
    friend class UiCallTarget;
    UiCall();
    void MarkDone();
    UniqueFd done_;
};

// Waits until one of the descriptors (-1 entries are skipped) is readable or hung up. Returns its
// index, -1 on time-out and -2 on failure (errno tells why). The first ready one in the list wins.
int WaitForReadable(std::initializer_list<int> fds, int timeoutMs);
int WaitForReadable(const std::vector<int>& fds, int timeoutMs);
