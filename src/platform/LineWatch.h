#pragma once

#include "platform/UniqueFd.h"

#include <QtGlobal>

#include <atomic>

// Line event bits, the same values as the port component's event mask.
namespace LineEvent {
inline constexpr quint32 RxChar = 0x0001;
inline constexpr quint32 TxEmpty = 0x0004;
inline constexpr quint32 Cts = 0x0008;
inline constexpr quint32 Dsr = 0x0010;
inline constexpr quint32 Rlsd = 0x0020;
inline constexpr quint32 Break = 0x0040;
inline constexpr quint32 Err = 0x0080;
inline constexpr quint32 Ring = 0x0100;
inline constexpr quint32 ModemLines = Cts | Dsr | Rlsd | Ring;
// Not a line event: the device went away (unplugged, hung up).
inline constexpr quint32 Gone = 0x80000000u;
} // namespace LineEvent

// The line's error counters (TIOCGICOUNT). Every reader keeps its own snapshot and reports the
// difference to it, so two readers never take each other's errors away.
struct LineErrorCounters
{
    int overrun = 0, bufOverrun = 0, parity = 0, frame = 0, brk = 0;
};
// 0 or errno; ENOTTY/EINVAL when the driver keeps no counters (pseudo-terminals, many adapters).
int ReadLineErrorCounters(int fd, LineErrorCounters& out);
// LineError bits (see SerialDevice.h) for the counters that moved between the two snapshots.
quint32 LineErrorsBetween(const LineErrorCounters& before, const LineErrorCounters& now);
// The line events the counters give: Err for a line status error (overrun, parity, framing),
// Break for a received break.
quint32 CounterEvents(const LineErrorCounters& before, const LineErrorCounters& now);

// What the port tells the watcher about its own use of the device.
struct LineActivity
{
    std::atomic<quint64> BytesRead{0}; // bytes the port has taken out of the input queue
    std::atomic<quint32> Writes{0};    // direct writes the port has finished
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
    LineWatch(int fd, quint32 mask, const LineActivity& activity);

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
