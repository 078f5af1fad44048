#pragma once

#include "platform/LineEvents.h"
#include "platform/SignalEvent.h"

#include <QtGlobal>

#include <atomic>
#include <memory>

class SerialDevice;

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

// Waits for line events (LineEvent bits) on an open device, interruptibly. Every arrival of
// bytes wakes it, but bytes it has reported and nobody has read yet do not wake it again: it
// reports when the number of bytes received in all has grown. Rx80Full is reported when the
// bytes waiting to be read (in the device and held by the port) grow past rxLimit, once until
// they have been seen at or below it again. A device that went away is reported once (Gone);
// after that only the stop event ends a wait.
//
// On Linux a terminal has no events of its own beyond arrivals and hang-ups: error counters,
// modem lines and the output queue are sampled on a period, only when watched and the driver has
// them. On Windows the driver raises the events (WaitCommEvent on the same bits: EV_RXFLAG,
// EV_PERR, EV_EVENT1/EV_EVENT2 where it has them); the watcher also reads the queue counts and
// error flags itself, since some drivers (Wine's on a pseudo-terminal) end the wait with an
// empty mask or never raise EV_RX80FULL.
class LineWatch
{
public:
    // The device must stay open while Wait may run. Construct it where the port works (the UI
    // thread): reads and writes after this point are news to the watcher.
    LineWatch(SerialDevice& device, quint32 mask, const LineActivity& activity,
              quint32 rxLimit = 0);
    ~LineWatch();
    LineWatch(const LineWatch&) = delete;
    LineWatch& operator=(const LineWatch&) = delete;

    // Whether the driver itself reports the event character (RxFlag): on Windows it does; a
    // Linux terminal cannot, and the port looks for it in the bytes.
    static bool SeesEventChar();

    // Blocks until watched events happened (returns their bits), the device went away (returns
    // Gone, once), or stop or wake (NoWaitable: none) was signalled (returns 0; the caller
    // resets wake, and the next Wait looks at what it announced).
    quint32 Wait(Waitable stop, Waitable wake);

    bool HasErrorCounters() const;
    bool HasModemLines() const;
    // The system's error that ended the watch, 0 while it goes on.
    int Failure() const;

    struct Side;

private:
    std::unique_ptr<Side> side_;
};
