#pragma once

#include "platform/LineEvents.h"
#include "platform/UniqueFd.h"

#include <QtGlobal>

#include <atomic>

// What the port tells the watcher about its own use of the device.
struct LineActivity
{
    std::atomic<quint64> BytesRead{0}; // bytes the port has taken out of the device
    std::atomic<quint32> Held{0};      // of those, bytes the port keeps for its reader
    // The fewest bytes that one of the port's reads left waiting since the watcher last looked
    // (the watcher takes it, and so starts it afresh).
    mutable std::atomic<quint32> LowestLeft{~0u};
    std::atomic<quint32> Writes{0}; // direct writes the port has finished
};

// Waits for line events on an open terminal, interruptibly. Every arrival of bytes wakes it at
// once, but bytes it has reported and nobody has read yet do not wake it again (they may wait a
// second for a poll timer): it reports when the number of bytes received in all has grown.
// Error counters, modem lines and the output queue have no wake-up of their own and are sampled
// on a period, only when they are watched and the driver has them. A device that went away is
// reported once; after that only the stop descriptor ends a wait.
class LineWatch
{
public:
    // fd stays owned by the caller and must stay open while Wait may run. Construct it where the
    // port works (the UI thread): reads and writes after this point are news to the watcher.
    // Rx80Full is reported when the bytes waiting to be read (in the device and held by the
    // port) grow past rxLimit, once until they have been seen at or below it again.
    LineWatch(int fd, quint32 mask, const LineActivity& activity, quint32 rxLimit = 0);

    ~LineWatch();
    LineWatch(const LineWatch&) = delete;
    LineWatch& operator=(const LineWatch&) = delete;

    // Blocks until watched events happened (returns their bits), the device went away (returns
    // Gone, once), or stopFd or wakeFd (-1: none) became readable (returns 0; the caller clears
    // wakeFd, and the next Wait looks at what it announced).
    quint32 Wait(int stopFd, int wakeFd);

    bool HasErrorCounters() const { return haveCounters_; }
    bool HasModemLines() const { return haveModem_; }

private:
    quint32 Sample();
    int Timeout() const;
    void NoteFailure(int error);

    int fd_;
    quint32 mask_;
    const LineActivity& activity_;
    quint64 reported_ = 0; // bytes received in all (read + waiting) when last reported
    bool rxArmed_ = true;
    const quint32 rxLimit_;
    bool overLimit_ = false;
    UniqueFd arrivals_; // edge-triggered epoll set of the device
    LineErrorCounters counters_;
    bool haveCounters_ = false;
    int modem_ = 0;
    bool haveModem_ = false;
    quint32 seenWrites_ = 0;
    bool txPending_ = false;
    bool gone_ = false;
    bool goneReported_ = false;
    bool failed_ = false;
};
