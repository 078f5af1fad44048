#pragma once

#include <QObject>

#include <functional>
#include <initializer_list>
#include <memory>

// A call handed from a worker thread to the thread of a QObject (the UI thread). The worker waits
// for DoneFd() together with its own stop event, so a UI thread that is itself waiting for the
// worker (joining it) can always end the wait with the stop event: a blocking queued connection
// would deadlock there.
class UiCall
{
public:
    ~UiCall();
    UiCall(const UiCall&) = delete;
    UiCall& operator=(const UiCall&) = delete;

    // Queues fn to run on the thread of context. When context is destroyed before the call was
    // served, fn never runs. fn must not throw: the UI thread's loop is below it.
    static std::shared_ptr<UiCall> Post(QObject* context, std::function<void()> fn);

    // Readable once the call has run.
    int DoneFd() const { return done_; }
    bool Done() const;

private:
    UiCall();
    void MarkDone();
    int done_ = -1;
};

// Waits until one of the descriptors is readable (or hung up). Returns its index, -1 on time-out
// and -2 on failure (errno tells why). When several are ready the one listed first wins.
int WaitForReadable(std::initializer_list<int> fds, int timeoutMs);
