#pragma once

// Stands in for the computer's clock while it lives: it starts at a given local time, runs at
// real speed, and the test can set it like a technician or time sync would, without touching
// the system's clock.

#include "runtime/TimeBase.h"

#include <QDateTime>
#include <QElapsedTimer>

#include <atomic>

class ComputerClock
{
public:
    explicit ComputerClock(const QDateTime& start) : setMs_(start.toMSecsSinceEpoch())
    {
        sinceSet_.start();
        TimeBase::SetWallClock([this] { return Read(); });
        TimeBase::Reset();
    }
    ~ComputerClock()
    {
        TimeBase::SetWallClock({});
        TimeBase::Reset();
    }
    ComputerClock(const ComputerClock&) = delete;
    ComputerClock& operator=(const ComputerClock&) = delete;

    // Moves the clock by a number of milliseconds (back when negative).
    void Shift(qint64 ms) { shiftMs_ += ms; }
    // The next reading still sees the clock as it is; the shift applies from the one after.
    void ShiftAfterNextReading(qint64 ms) { pendingMs_ = ms; }
    int Readings() const { return readings_; }

private:
    qint64 Read()
    {
        ++readings_;
        const qint64 value = setMs_ + shiftMs_ + sinceSet_.elapsed();
        shiftMs_ += pendingMs_.exchange(0);
        return value;
    }

    const qint64 setMs_;
    QElapsedTimer sinceSet_;
    std::atomic<qint64> shiftMs_ = 0;
    std::atomic<qint64> pendingMs_ = 0;
    std::atomic<int> readings_ = 0;
};
