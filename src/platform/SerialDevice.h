#pragma once

#include "platform/ControlBlock.h"
#include "platform/SignalEvent.h"

#include <QByteArray>
#include <QtGlobal>

#include <initializer_list>
#include <memory>

// One open serial device, held exclusively. Every operation returns 0 or the system's error code
// of the step that failed (errno on POSIX, the Win32 error on Windows); nothing here raises, and
// no call waits longer than the bound it is given. Reads and writes may run on different threads
// at once.
class SerialDevice
{
public:
    // The most unread bytes the driver holds for its reader when a program asks for an input
    // queue of `readSize` bytes. A Linux terminal holds 4095 whatever is asked for (its line
    // discipline's 4 KiB buffer less one, measured alike on pseudo-terminals and on UARTs;
    // further bytes wait in the driver, or are lost on a line without flow control). On Windows
    // the ReadSize given to SetupComm decides: the driver's queue is that size.
    static int InputCapacity(int readSize);

    SerialDevice();
    ~SerialDevice();
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    // Opens the path for reading and writing and takes it exclusively: a second opener, in this
    // program or another, is refused (EBUSY on Linux, also for root and for a device that /proc
    // shows open elsewhere; ERROR_ACCESS_DENIED on Windows). NoSuchDevice (LineEvents.h) means
    // the device does not exist. On failure nothing stays open.
    int Open(const QByteArray& path);
    // Gives up the exclusive hold and closes. Unsent output is discarded, not waited for; a
    // pending wait for line events ends at once.
    void Close();
    bool IsOpen() const;
    // The open device (NoWaitable while closed).
    Waitable Handle() const;

    // Writes the line settings of the block. An impossible block (speed 0, byte size or parity
    // out of range) fails with InvalidArgument, and the device keeps what it has.
    int ApplyControlBlock(const CommControlBlock& block);
    // The driver's queue sizes: SetupComm on Windows, a request a driver may round or ignore. A
    // Linux terminal sizes its own queues (see InputCapacity); there this only checks that the
    // device is still there.
    int SetQueueSizes(int readSize, int writeSize);
    // Makes reads return at once with what has arrived, and keeps the line from acting on the
    // bytes (raw mode on a terminal, without touching speed, framing or flow control; the read
    // time-outs on Windows).
    int MakeRaw();
    // Fails when the device cannot report line events (not a terminal or no communications
    // device) or has gone away.
    int CheckTerminal() const;
    // A cheap query that fails when the device has gone away.
    int CheckPresent() const;

    // Bytes waiting in the input queue and not yet sent from the output queue.
    int QueueCounts(quint32& input, quint32& output) const;
    // Line error flags (LineError bits) that arose since the last call (or since Open). Drivers
    // without error counters (pseudo-terminals, some USB adapters) report none. Every reader of
    // the flags keeps its own view: the port's and its event watcher's never take from another.
    int TakeLineErrors(quint32& errors);

    // Reads at most `count` bytes that have arrived; `got` is 0 when none are waiting.
    int Read(char* dest, int count, int& got);
    // Hands all bytes to the driver and waits until they have left the output queue, within
    // `timeoutMs` real milliseconds in all. `completed` tells whether both happened in time.
    // Bytes the driver took are sent even when the bound ran out; the rest is not.
    int Write(const char* data, int count, int timeoutMs, bool& completed);
    // Waits until the output queue is empty (`sent`), at most `timeoutMs` real milliseconds or
    // until one of `wake` (NoWaitable entries are skipped) is signalled. The driver tells no one
    // when its queue has run empty: it is looked at, first every millisecond, then every 10.
    int WaitUntilSent(int timeoutMs, std::initializer_list<Waitable> wake, bool& sent) const;
    // Hands the driver the bytes it takes within `timeoutMs` real milliseconds, without waiting
    // for them to be sent; a wait for room also ends when `stop` (NoWaitable: none) is
    // signalled. `written` is 0 when the wait ended without room.
    int WriteSome(const char* data, int count, int timeoutMs, Waitable stop, int& written);

    // Each side's own state (posix/SerialDevice.cpp, win32/SerialDevice.cpp).
    struct Side;
    Side& Own() const { return *side_; }

private:
    std::unique_ptr<Side> side_;
};
