#include "DeviceEndpoint.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <unistd.h>

namespace printersim {

namespace {

[[noreturn]] void Fail(const std::string& what)
{
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

tcflag_t DataBitsFlag(int bits)
{
    switch (bits) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

} // namespace

speed_t SpeedFor(int baud)
{
    static const struct
    {
        int baud;
        speed_t speed;
    } Speeds[] = {{50, B50},         {75, B75},         {110, B110},       {134, B134},
                  {150, B150},       {200, B200},       {300, B300},       {600, B600},
                  {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
                  {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
                  {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600}};
    for (const auto& s : Speeds)
        if (s.baud == baud)
            return s.speed;
    return B0;
}

DeviceEndpoint::DeviceEndpoint(std::string path, const LineFormat& format)
    : path_(std::move(path)), format_(format)
{
    // Non-blocking open: a port that waits for carrier would otherwise hang here.
    fd_.Reset(open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd_.Get() < 0)
        Fail("cannot open " + path_);
    if (!isatty(fd_.Get()))
        throw std::runtime_error(path_ + " is not a terminal device");
    // Another program writing to the printer's side of the line would garble both.
    if (ioctl(fd_.Get(), TIOCEXCL) != 0)
        Fail("cannot take " + path_ + " for itself");
    if (tcgetattr(fd_.Get(), &saved_) != 0)
        Fail("tcgetattr " + path_);
    restore_ = true;

    termios t = saved_;
    // Raw: on a cooked line our ETX (0x03) would be the interrupt character; CLOCAL so that the
    // modem lines of a cable without them do not matter.
    cfmakeraw(&t);
    t.c_iflag |= IGNBRK;
    t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD | DataBitsFlag(format_.dataBits);
    if (format_.parity != 'N')
        t.c_cflag |= PARENB | (format_.parity == 'O' ? PARODD : 0);
    if (format_.stopBits == 2)
        t.c_cflag |= CSTOPB;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, SpeedFor(format_.baud));
    cfsetospeed(&t, SpeedFor(format_.baud));
    if (tcsetattr(fd_.Get(), TCSANOW, &t) != 0)
        Fail("cannot configure " + path_);
    tcflush(fd_.Get(), TCIOFLUSH);
}

DeviceEndpoint::~DeviceEndpoint()
{
    Release();
}

std::string DeviceEndpoint::Describe() const
{
    return path_ + " (" + std::to_string(format_.baud) + " " + std::to_string(format_.dataBits) +
           format_.parity + std::to_string(format_.stopBits) + ")";
}

void DeviceEndpoint::Vanish()
{
    Release();
}

void DeviceEndpoint::Release()
{
    if (fd_.Get() < 0)
        return;
    // Unsent replies must not hold the exit for the driver's closing wait.
    tcflush(fd_.Get(), TCIOFLUSH);
    if (restore_)
        tcsetattr(fd_.Get(), TCSANOW, &saved_);
    ioctl(fd_.Get(), TIOCNXCL);
    fd_.Reset();
}

} // namespace printersim
