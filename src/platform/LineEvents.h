#pragma once

// The platform's words for what happens on a line: events, error flags, the driver's error
// counters and the errors that mean the device is gone. The port component maps them onto its
// own event mask and error flags.
#include <QtGlobal>

// Line events the platform reports (LineWatch).
namespace LineEvent {
inline constexpr quint32 RxChar = 0x0001;
// The event character came. Only a driver that looks at the bytes raises it (Windows').
inline constexpr quint32 RxFlag = 0x0002;
inline constexpr quint32 TxEmpty = 0x0004;
inline constexpr quint32 Cts = 0x0008;
inline constexpr quint32 Dsr = 0x0010;
inline constexpr quint32 Rlsd = 0x0020;
inline constexpr quint32 Break = 0x0040;
inline constexpr quint32 Err = 0x0080;
inline constexpr quint32 Ring = 0x0100;
// Printer status error and the driver's own events: only Windows drivers raise them, and only
// some (parallel ports, a few serial drivers).
inline constexpr quint32 PErr = 0x0200;
// The bytes waiting to be read passed the watcher's limit (not for each byte above it).
inline constexpr quint32 Rx80Full = 0x0400;
inline constexpr quint32 Event1 = 0x0800;
inline constexpr quint32 Event2 = 0x1000;
inline constexpr quint32 ModemLines = Cts | Dsr | Rlsd | Ring;
// Not a line event: the device went away (unplugged, hung up).
inline constexpr quint32 Gone = 0x80000000u;
} // namespace LineEvent

// The line's error counters (TIOCGICOUNT, Linux only). Every reader keeps its own snapshot and
// reports the difference to it, so two readers never take each other's errors away.
struct LineErrorCounters
{
    int overrun = 0, bufOverrun = 0, parity = 0, frame = 0, brk = 0;
};
// 0 or errno; ENOTTY/EINVAL when the driver keeps no counters (pseudo-terminals, many adapters).
int ReadLineErrorCounters(int fd, LineErrorCounters& out);
// LineError bits for the counters that moved between the two snapshots.
quint32 LineErrorsBetween(const LineErrorCounters& before, const LineErrorCounters& now);
// The line events the counters give: Err for a line status error (overrun, parity, framing),
// Break for a received break.
quint32 CounterEvents(const LineErrorCounters& before, const LineErrorCounters& now);

// Line error flags (SerialDevice::TakeLineErrors).
namespace LineError {
inline constexpr quint32 RxOver = 0x01;   // a receive buffer overflowed
inline constexpr quint32 Overrun = 0x02;  // the UART lost a byte
inline constexpr quint32 RxParity = 0x04; // parity error
inline constexpr quint32 Frame = 0x08;    // framing error
inline constexpr quint32 Break = 0x10;    // break received
} // namespace LineError

// True for the errors that mean the device is gone (unplugged, hung up).
bool IsDeviceGone(int error);

// The system's codes for the failures the port names itself: the device does not exist (ENOENT,
// ERROR_FILE_NOT_FOUND), a value out of range (EINVAL, ERROR_INVALID_PARAMETER), no memory
// (ENOMEM, ERROR_NOT_ENOUGH_MEMORY).
namespace SystemCode {
extern const int NoSuchDevice;
extern const int InvalidArgument;
extern const int OutOfMemory;
} // namespace SystemCode
