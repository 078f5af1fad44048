#pragma once

#include "printer/Journal.h"

#include <QObject>

#include <chrono>
#include <memory>

// The window's journal lines, written by a thread of its own, so that nothing on screen or on
// the wire waits for the journal: another program holding its lock for a while, or a slow disk.
// Lines go out in the order given; while the lock is held by another program the line waits and
// is tried again a moment later. A journal that cannot be written at all costs the line and a
// message on standard error.
class TJournalWriter : public QObject
{
    Q_OBJECT
public:
    explicit TJournalWriter(QObject* parent = nullptr);
    // Waits at most ExitWait for the lines not yet written, then names on standard error, as
    // JSON lines a person can append by hand, those that were not.
    ~TJournalWriter() override;

    static constexpr std::chrono::milliseconds ExitWait{3000};
    static constexpr std::chrono::milliseconds RetryInterval{200};

    // Queues the record for the journal at `path`.
    void Add(const QString& path, const JobRecord& record);

    // Waits until every line given so far has been written or given up; false after `limit`.
    bool Drain(std::chrono::milliseconds limit);

    struct Queue;

private:
    // Shared with the writing thread, which outlives this object when a write is stuck.
    std::shared_ptr<Queue> queue_;
};
