#include "platform/LineWatch.h"

#include "platform/SerialDevice.h"
#include "platform/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <linux/serial.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// The events that need to know of every arrival of bytes.
constexpr quint32 InputEvents = LineEvent::RxChar | LineEvent::Rx80Full;

// New bytes behind unread ones wake the watcher through an edge-triggered epoll; the count is
// also looked at this often in case a driver wakes no one. Without epoll it is the only way.
constexpr int NewBytesPeriodMs = 250;
constexpr int NewBytesPeriodWithoutEpollMs = 10;
// Line errors come with received bytes, which wake the watcher; this catches the rest.
constexpr int ErrorPeriodMs = 250;
constexpr int ModemPeriodMs = 20;
constexpr int TxPeriodMs = 5;
// After a call failed for no known reason the wait is issued again after this pause, not at
// once, so that a failure that persists cannot turn into a busy loop.
constexpr int RetryPauseMs = 100;

bool IsUnsupported(int error)
{
    return error == ENOTTY || error == EINVAL;
}

int ReadModemLines(int fd, int& lines)
{
    return ioctl(fd, TIOCMGET, &lines) == 0 ? 0 : errno;
}

quint32 ModemChanges(int before, int now)
{
    const int changed = before ^ now;
    quint32 events = 0;
    if (changed & TIOCM_CTS)
        events |= LineEvent::Cts;
    if (changed & TIOCM_DSR)
        events |= LineEvent::Dsr;
    if (changed & TIOCM_CD)
        events |= LineEvent::Rlsd;
    if (changed & TIOCM_RNG)
        events |= LineEvent::Ring;
    return events;
}

// An epoll set that reports each arrival of bytes once (edge-triggered), also while earlier
// bytes still wait unread: plain poll() would report those again at once, forever.
UniqueFd MakeArrivalWatch(int fd)
{
    UniqueFd ep(epoll_create1(EPOLL_CLOEXEC));
    if (!ep.IsOpen())
        return ep;
    epoll_event ev{};
    ev.events = EPOLLIN | EPOLLET;
    ev.data.fd = fd;
    if (epoll_ctl(ep.Get(), EPOLL_CTL_ADD, fd, &ev) != 0)
        ep.Reset();
    return ep;
}

// Takes the reported edges out of the set.
void ClearArrivals(int ep)
{
    epoll_event events[4];
    while (epoll_wait(ep, events, 4, 0) == 4) {
    }
}

} // namespace

struct LineWatch::Side
{
    Side(int fd, quint32 mask, const LineActivity& activity, quint32 rxLimit);
    quint32 Wait(int stopFd, int wakeFd);
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
    int failure_ = 0;
};

LineWatch::LineWatch(SerialDevice& device, quint32 mask, const LineActivity& activity,
                     quint32 rxLimit)
    : side_(std::make_unique<Side>(device.Handle(), mask, activity, rxLimit))
{
}

LineWatch::~LineWatch() = default;

bool LineWatch::SeesEventChar()
{
    return false;
}

quint32 LineWatch::Wait(Waitable stop, Waitable wake)
{
    return side_->Wait(stop, wake);
}

bool LineWatch::HasErrorCounters() const
{
    return side_->haveCounters_;
}

bool LineWatch::HasModemLines() const
{
    return side_->haveModem_;
}

int LineWatch::Failure() const
{
    return side_->failure_;
}

LineWatch::Side::Side(int fd, quint32 mask, const LineActivity& activity, quint32 rxLimit)
    : fd_(fd), mask_(mask), activity_(activity), rxLimit_(rxLimit)
{
    // Bytes already waiting count as new: they are reported on the first pass.
    reported_ = activity_.BytesRead.load();
    seenWrites_ = activity_.Writes.load();
    if (mask_ & InputEvents)
        arrivals_ = MakeArrivalWatch(fd_);
    if (mask_ & (LineEvent::Err | LineEvent::Break))
        haveCounters_ = ReadLineErrorCounters(fd_, counters_) == 0;
    if (mask_ & LineEvent::ModemLines)
        haveModem_ = ReadModemLines(fd_, modem_) == 0;
}

void LineWatch::Side::NoteFailure(int error)
{
    if (IsDeviceGone(error)) {
        gone_ = true;
        failure_ = error;
    } else
        failed_ = true;
}

quint32 LineWatch::Side::Sample()
{
    quint32 found = 0;
    if (mask_ & InputEvents) {
        int waiting = 0;
        if (ioctl(fd_, FIONREAD, &waiting) != 0) {
            NoteFailure(errno);
            return 0;
        }
        waiting = std::max(waiting, 0);
        // The port counts what it read after the read: the sum can lag behind the truth for a
        // moment but never runs ahead of it, so nothing is reported twice for that reason.
        const quint64 total = activity_.BytesRead.load() + quint64(waiting);
        if (total > reported_) {
            found |= mask_ & LineEvent::RxChar;
            reported_ = total;
        }
        if (mask_ & LineEvent::Rx80Full) {
            // Only a read lowers the queue: the limit is passed again after a read that left
            // it at or below the limit. A look in the middle of a read may find too little.
            if (activity_.LowestLeft.exchange(~0u) <= rxLimit_)
                overLimit_ = false;
            if (!overLimit_ && quint64(waiting) + activity_.Held.load() > rxLimit_) {
                found |= LineEvent::Rx80Full;
                overLimit_ = true;
            }
        }
        rxArmed_ = waiting == 0;
    }
    if (haveCounters_) {
        LineErrorCounters now;
        if (const int error = ReadLineErrorCounters(fd_, now)) {
            NoteFailure(error);
            return found;
        }
        found |= CounterEvents(counters_, now) & mask_;
        counters_ = now;
    }
    if (haveModem_) {
        int now = 0;
        if (const int error = ReadModemLines(fd_, now)) {
            if (!IsUnsupported(error))
                NoteFailure(error);
            return found;
        }
        found |= ModemChanges(modem_, now) & mask_;
        modem_ = now;
    }
    if (mask_ & LineEvent::TxEmpty) {
        const quint32 writes = activity_.Writes.load();
        if (writes != seenWrites_ || txPending_) {
            seenWrites_ = writes;
            int queued = 0;
            if (ioctl(fd_, TIOCOUTQ, &queued) != 0 && !IsUnsupported(errno)) {
                NoteFailure(errno);
                return found;
            }
            txPending_ = queued > 0;
            if (!txPending_)
                found |= LineEvent::TxEmpty;
        }
    }
    return found;
}

int LineWatch::Side::Timeout() const
{
    int timeout = -1;
    const auto take = [&timeout](int ms) { timeout = timeout < 0 ? ms : std::min(timeout, ms); };
    if ((mask_ & InputEvents) && !rxArmed_)
        take(arrivals_.IsOpen() ? NewBytesPeriodMs : NewBytesPeriodWithoutEpollMs);
    if (haveCounters_)
        take(ErrorPeriodMs);
    if (haveModem_)
        take(ModemPeriodMs);
    if (txPending_)
        take(TxPeriodMs);
    return timeout;
}

quint32 LineWatch::Side::Wait(int stopFd, int wakeFd)
{
    for (;;) {
        if (gone_) {
            if (!goneReported_) {
                goneReported_ = true;
                return LineEvent::Gone;
            }
            // Nothing more will come from this device: sleep until stopped.
            pollfd stop{stopFd, POLLIN, 0};
            while (poll(&stop, 1, -1) < 0 && errno == EINTR) {
            }
            return 0;
        }
        if (failed_) {
            failed_ = false;
            pollfd stop{stopFd, POLLIN, 0};
            if (poll(&stop, 1, RetryPauseMs) > 0)
                return 0;
        }
        if (const quint32 found = Sample())
            return found;
        if (gone_ || failed_)
            continue;

        const bool pollIn = (mask_ & InputEvents) && rxArmed_ && !arrivals_.IsOpen();
        pollfd fds[4] = {
            {stopFd, POLLIN, 0},
            {wakeFd, POLLIN, 0},
            // Always polled, also with no events asked for: a hang-up is reported regardless.
            {fd_, short(pollIn ? POLLIN : 0), 0},
            {arrivals_.Get(), POLLIN, 0},
        };
        const int r = poll(fds, 4, Timeout());
        if (r < 0) {
            if (errno != EINTR)
                failed_ = true;
            continue;
        }
        if (fds[0].revents || fds[1].revents)
            return 0;
        if (fds[2].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            gone_ = true;
            failure_ = EIO;
            continue;
        }
        if (fds[3].revents)
            ClearArrivals(arrivals_.Get());
    }
}
