#include "platform/SerialDevice.h"

#include "platform/CustomSpeed.h"
#include "platform/DeviceHolders.h"
#include "platform/LineEvents.h"
#include "platform/LineSettings.h"
#include "platform/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <iterator>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : int(std::min<long long>(left, 1 << 30));
}

// Pseudo-terminals and many USB adapters have no modem lines or counters; that is not a failure.
bool IsUnsupported(int error)
{
    return error == ENOTTY || error == EINVAL;
}

int SetModemLine(int fd, int line, ModemLine action)
{
    if (action == ModemLine::Leave)
        return 0;
    if (ioctl(fd, action == ModemLine::Raise ? TIOCMBIS : TIOCMBIC, &line) != 0 &&
        !IsUnsupported(errno))
        return errno;
    return 0;
}

// Pseudo-terminals (the devpts majors) carry no framing: the driver forces 8 bits, no parity.
bool IsPseudoTerminal(int fd)
{
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    const unsigned m = major(st.st_rdev);
    return m >= 136 && m <= 143;
}

// Field by field: the structure has padding, which nobody fills.
bool SameSettings(const termios& a, const termios& b)
{
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && a.c_line == b.c_line &&
           std::equal(std::begin(a.c_cc), std::end(a.c_cc), std::begin(b.c_cc)) &&
           cfgetispeed(&a) == cfgetispeed(&b) && cfgetospeed(&a) == cfgetospeed(&b);
}

int TakeExclusively(int fd, bool& setExclusive);
// Waits at most `timeoutMs` real milliseconds until the driver takes bytes again or wakeFd
// (-1: none) becomes readable (then `woken` is set). EIO when the device has gone away.
int WaitForRoom(int device, int timeoutMs, int wakeFd, bool& woken);

bool HeldByAnotherProcess(int fd)
{
    struct stat st;
    return fstat(fd, &st) == 0 && !OtherHoldersOf(st.st_rdev).isEmpty();
}

} // namespace

struct SerialDevice::Side
{
    UniqueFd fd;
    bool setExclusive = false; // the exclusive flag is ours to clear at close
    // The port's own snapshot: the event thread keeps another, so neither takes errors away
    // from the other.
    LineErrorCounters counters;
    bool haveCounters = false;
};

int SerialDevice::InputCapacity(int readSize)
{
    return std::min(readSize, 4095);
}

SerialDevice::SerialDevice() : side_(std::make_unique<Side>()) {}

SerialDevice::~SerialDevice()
{
    Close();
}

bool SerialDevice::IsOpen() const
{
    return side_->fd.IsOpen();
}

Waitable SerialDevice::Handle() const
{
    return side_->fd.Get();
}

int SerialDevice::SetQueueSizes(int readSize, int writeSize)
{
    // The terminal sizes its own queues; the sizes are only checked here.
    if (readSize < 0 || writeSize < 0)
        return EINVAL;
    return CheckPresent();
}

int SerialDevice::Open(const QByteArray& path)
{
    Close();
    UniqueFd fd(::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.IsOpen())
        return errno;
    if (const int error = TakeExclusively(fd.Get(), side_->setExclusive))
        return error;
    side_->fd = std::move(fd);
    // Errors counted before we opened the device are not ours to report.
    side_->haveCounters = ReadLineErrorCounters(Handle(), side_->counters) == 0;
    return 0;
}

namespace {

int TakeExclusively(int fd, bool& setExclusive)
{
    // TIOCEXCL does not stop root, so the lock is what keeps a second opener out.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0)
        return errno == EWOULDBLOCK ? EBUSY : errno;
    // Root gets in past another holder's exclusive flag: it must respect it all the same.
    int exclusive = 0;
    const bool knowsFlag = ioctl(fd, TIOCGEXCL, &exclusive) == 0;
    if (knowsFlag && exclusive)
        return EBUSY;
    // Programs that open a serial device without any lock (modem managers, braille daemons)
    // are seen only in /proc. A pseudo-terminal is always open at its other end, normally by
    // the program that answers on it, and is not busy for that.
    if (isatty(fd) && !IsPseudoTerminal(fd) && HeldByAnotherProcess(fd))
        return EBUSY;
    if (ioctl(fd, TIOCEXCL) != 0) {
        if (!IsUnsupported(errno))
            return errno;
        return 0;
    }
    // Ours to clear at close: it was clear before (or the driver cannot tell, and most likely).
    setExclusive = true;
    return 0;
}

} // namespace

void SerialDevice::Close()
{
    if (!side_->fd.IsOpen())
        return;
    // close() waits for unsent output up to the port's closing wait (30 s on a UART), and a
    // stalled line (flow control, a dead device) never sends it.
    tcflush(Handle(), TCOFLUSH);
    // Without this a pty keeps its exclusive flag after we are gone. Only ours is cleared:
    // clearing another holder's would strip its protection.
    if (side_->setExclusive)
        ioctl(Handle(), TIOCNXCL);
    side_->setExclusive = false;
    side_->fd.Reset();
    side_->haveCounters = false;
}

int SerialDevice::ApplyControlBlock(const CommControlBlock& dcb)
{
    termios current;
    if (tcgetattr(Handle(), &current) != 0)
        return errno;
    const LineSettings settings = MakeLineSettings(current, dcb);
    if (!settings.Valid)
        return EINVAL;
    // glibc reads the settings back and reports EINVAL when parity or character size did not
    // stick. On a pseudo-terminal they never do, and everything else has been written.
    if (tcsetattr(Handle(), TCSANOW, &settings.Tio) != 0 &&
        !(errno == EINVAL && IsPseudoTerminal(Handle())))
        return errno;
    if (settings.CustomSpeed) {
        if (const int error = SetCustomSpeed(Handle(), settings.Speed))
            return error;
    }
    if (const int error = SetModemLine(Handle(), TIOCM_DTR, settings.Dtr))
        return error;
    return SetModemLine(Handle(), TIOCM_RTS, settings.Rts);
}

int SerialDevice::MakeRaw()
{
    const int flags = fcntl(Handle(), F_GETFL);
    if (flags < 0)
        return errno;
    if (!(flags & O_NONBLOCK) && fcntl(Handle(), F_SETFL, flags | O_NONBLOCK) != 0)
        return errno;
    termios current;
    if (tcgetattr(Handle(), &current) != 0)
        return errno;
    termios raw = current;
    ::MakeRaw(raw);
    if (SameSettings(raw, current))
        return 0;
    // As in ApplyControlBlock: glibc's read-back finds a pty's forced framing "not applied".
    if (tcsetattr(Handle(), TCSANOW, &raw) != 0 && !(errno == EINVAL && IsPseudoTerminal(Handle())))
        return errno;
    return 0;
}

int SerialDevice::CheckTerminal() const
{
    termios t;
    return tcgetattr(Handle(), &t) != 0 ? errno : 0;
}

int SerialDevice::CheckPresent() const
{
    int queued = 0;
    if (ioctl(Handle(), TIOCOUTQ, &queued) != 0 && !IsUnsupported(errno))
        return errno;
    pollfd p{Handle(), 0, 0};
    if (poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)))
        return EIO;
    return 0;
}

int SerialDevice::QueueCounts(quint32& input, quint32& output) const
{
    int in = 0;
    int out = 0;
    if (ioctl(Handle(), FIONREAD, &in) != 0)
        return errno;
    if (ioctl(Handle(), TIOCOUTQ, &out) != 0)
        return errno;
    input = quint32(std::max(in, 0));
    output = quint32(std::max(out, 0));
    return 0;
}

int SerialDevice::TakeLineErrors(quint32& errors)
{
    errors = 0;
    LineErrorCounters now;
    if (const int error = ReadLineErrorCounters(Handle(), now))
        return IsUnsupported(error) ? 0 : error;
    if (side_->haveCounters)
        errors = LineErrorsBetween(side_->counters, now);
    side_->counters = now;
    side_->haveCounters = true;
    return 0;
}

int SerialDevice::Read(char* dest, int count, int& got)
{
    got = 0;
    if (count <= 0)
        return 0;
    for (;;) {
        const ssize_t n = ::read(Handle(), dest, size_t(count));
        if (n > 0) {
            got = int(n);
            return 0;
        }
        // A raw terminal read of 0 bytes is a hang-up, not "nothing yet" (that is EAGAIN).
        if (n == 0)
            return EIO;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        if (errno != EINTR)
            return errno;
    }
}

int SerialDevice::Write(const char* data, int count, int timeoutMs, bool& completed)
{
    completed = false;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (int done = 0; done < count;) {
        int written = 0;
        if (const int error =
                WriteSome(data + done, count - done, MillisecondsLeft(deadline), -1, written))
            return error;
        if (written == 0)
            return 0;
        done += written;
    }
    // The bytes are with the driver; wait until they have left the port. Never tcdrain: it has
    // no bound and hangs for good when flow control stalls the line.
    return WaitUntilSent(MillisecondsLeft(deadline), {}, completed);
}

int SerialDevice::WaitUntilSent(int timeoutMs, std::initializer_list<Waitable> wakeFds,
                                bool& sent) const
{
    sent = false;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::vector<pollfd> wake;
    for (const int fd : wakeFds)
        wake.push_back({fd, POLLIN, 0});
    int stepMs = 1;
    for (;;) {
        int queued = 0;
        if (ioctl(Handle(), TIOCOUTQ, &queued) != 0) {
            if (!IsUnsupported(errno))
                return errno;
            queued = 0;
        }
        if (queued <= 0) {
            sent = true;
            return 0;
        }
        const int left = MillisecondsLeft(deadline);
        if (left == 0)
            return 0;
        const int woken = poll(wake.data(), wake.size(), std::min(stepMs, left));
        if (woken > 0)
            return 0;
        if (woken < 0 && errno != EINTR)
            return errno;
        stepMs = std::min(stepMs * 2, 10);
    }
}

int SerialDevice::WriteSome(const char* data, int count, int timeoutMs, Waitable stopFd,
                            int& written)
{
    written = 0;
    if (count <= 0)
        return 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const ssize_t n = ::write(Handle(), data, size_t(count));
        if (n > 0) {
            written = int(n);
            return 0;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return errno;
        // The driver's buffer is full (flow control, slow line): wait for room or the stop.
        const int left = MillisecondsLeft(deadline);
        if (left == 0)
            return 0;
        bool woken = false;
        if (const int error = WaitForRoom(Handle(), left, stopFd, woken))
            return error;
        if (woken)
            return 0;
    }
}

namespace {

int WaitForRoom(int device, int timeoutMs, int wakeFd, bool& woken)
{
    woken = false;
    pollfd fds[2] = {{device, POLLOUT, 0}, {wakeFd, POLLIN, 0}};
    if (poll(fds, 2, std::max(timeoutMs, 0)) < 0)
        return errno == EINTR ? 0 : errno;
    if (fds[1].revents) {
        woken = true;
        return 0;
    }
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))
        return EIO;
    return 0;
}

} // namespace
