#pragma once

#include "platform/LineEvents.h"
#include "platform/LineSettings.h"
#include "platform/UniqueFd.h"

#include <QByteArray>
#include <QtGlobal>

#include <initializer_list>

// One open serial device, held exclusively. Every operation returns 0 or the errno value of the
// step that failed; nothing here raises. The descriptor is non-blocking: no call waits longer
// than the bound it is given.
class SerialDevice
{
public:
    // The most unread bytes a terminal holds for its reader, whatever queue size a program asks
    // for: the line discipline's 4 KiB buffer less one (measured alike on pseudo-terminals and
    // on UARTs). FIONREAD never counts more; further bytes wait in the driver, or are lost on a
    // line without flow control.
    static constexpr int InputCapacity = 4095;

    SerialDevice() = default;
    ~SerialDevice() { Close(); }
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    // Opens the path for reading and writing and takes it exclusively: a second opener, also one
    // running as root, gets EBUSY. EBUSY too when another program holds it exclusively, or, for
    // a serial device (not a pseudo-terminal), when /proc shows it open in another process.
    // ENOENT means the device does not exist. On failure nothing stays open.
    int Open(const QByteArray& path);
    // Gives up the exclusive hold and closes. Unsent output is discarded, not waited for.
    void Close();
    bool IsOpen() const { return fd_.IsOpen(); }
    int Fd() const { return fd_.Get(); }

    // Writes the line settings of the block (see MakeLineSettings). A device that is not a
    // terminal fails with ENOTTY; an impossible block with EINVAL.
    int ApplyControlBlock(const CommControlBlock& dcb);
    // Puts the line in raw mode (see MakeRaw) without touching speed, framing or flow control,
    // and makes reads return at once with what has arrived.
    int MakeRaw();
    // ENOTTY when the device is not a terminal; EIO when it has gone away.
    int CheckTerminal() const;
    // A cheap query that fails (EIO) when the device has gone away.
    int CheckPresent() const;

    // Bytes waiting in the input queue and not yet sent from the output queue.
    int QueueCounts(quint32& input, quint32& output) const;
    // Line error flags (LineError bits) that arose since the last call (or since Open). Drivers
    // without error counters (pseudo-terminals, some USB adapters) report none.
    int TakeLineErrors(quint32& errors);

    // Reads at most `count` bytes that have arrived; `got` is 0 when none are waiting. A device
    // that went away fails with EIO.
    int Read(char* dest, int count, int& got);
    // Hands all bytes to the driver and waits until they have left the output queue, within
    // `timeoutMs` real milliseconds in all. `completed` tells whether both happened in time.
    // Bytes the driver took are sent even when the bound ran out; the rest is not.
    int Write(const char* data, int count, int timeoutMs, bool& completed);
    // Waits until the output queue is empty (`sent`), at most `timeoutMs` real milliseconds or
    // until one of `wakeFds` (-1 entries are skipped) becomes readable. The driver tells no one
    // when its queue has run empty: it is looked at, first every millisecond, then every 10.
    int WaitUntilSent(int timeoutMs, std::initializer_list<int> wakeFds, bool& sent) const;

    // Hands the driver the bytes it takes in one go, without waiting for them to be sent; when
    // it takes none, waits for room at most `timeoutMs` real milliseconds or until stopFd (-1:
    // none) becomes readable. `written` is 0 when the wait ended without room.
    int WriteSome(const char* data, int count, int timeoutMs, int stopFd, int& written);

private:
    // Waits at most `timeoutMs` real milliseconds until the driver takes bytes again or wakeFd
    // (-1: none) becomes readable (then `woken` is set). EIO when the device has gone away.
    int WaitForRoom(int timeoutMs, int wakeFd, bool& woken) const;
    int TakeExclusively(int fd);

    UniqueFd fd_;
    bool setExclusive_ = false; // the exclusive flag is ours to clear at close
    // The port's own snapshot: the event thread keeps another, so neither takes errors away
    // from the other.
    LineErrorCounters counters_;
    bool haveCounters_ = false;
};
