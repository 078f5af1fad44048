#include "platform/LineSettings.h"

namespace {

struct SpeedEntry
{
    quint32 bps;
    speed_t code;
};

constexpr SpeedEntry Speeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

tcflag_t CharacterSize(quint8 byteSize)
{
    switch (byteSize) {
    case 4: // no 4-bit characters on this platform: the nearest is 5
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

speed_t StandardSpeed(quint32 bitsPerSecond)
{
    for (const SpeedEntry& entry : Speeds) {
        if (entry.bps == bitsPerSecond)
            return entry.code;
    }
    return 0;
}

void MakeRaw(termios& t)
{
    // cfmakeraw would also force 8 bits and no parity: the framing is not ours to change here.
    t.c_iflag &= ~(BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IMAXBEL);
    t.c_iflag |= IGNBRK;
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
}

LineSettings MakeLineSettings(const termios& current, const CommControlBlock& dcb)
{
    LineSettings out;
    out.Valid = dcb.BaudRate > 0 && dcb.BaudRate <= 0x7fffffff && dcb.ByteSize >= 4 &&
                dcb.ByteSize <= 8 && dcb.Parity <= 4 && dcb.StopBits <= 2;
    if (!out.Valid)
        return out;

    termios& t = out.Tio;
    t = current;
    MakeRaw(t);
    t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | IGNPAR);
    // CIBAUD cleared: the input speed follows the output speed.
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CIBAUD);
    t.c_cflag |= CLOCAL | CREAD | CharacterSize(dcb.ByteSize);

    switch (dcb.Parity) {
    case 1:
        t.c_cflag |= PARENB | PARODD;
        break;
    case 2:
        t.c_cflag |= PARENB;
        break;
    case 3: // mark: the parity bit is always 1
        t.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case 4: // space: always 0
        t.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    if (dcb.Flags & DcbFlag::ParityCheck)
        t.c_iflag |= INPCK;
    if (dcb.StopBits != 0)
        t.c_cflag |= CSTOPB;

    const quint32 rts = dcb.Flags & DcbFlag::RtsControlMask;
    if ((dcb.Flags & DcbFlag::OutCtsFlow) || rts == DcbFlag::RtsHandshake)
        t.c_cflag |= CRTSCTS;
    if (dcb.Flags & DcbFlag::XonXoffOut)
        t.c_iflag |= IXON;
    if (dcb.Flags & DcbFlag::XonXoffIn)
        t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = dcb.XonChar;
    t.c_cc[VSTOP] = dcb.XoffChar;

    out.Speed = dcb.BaudRate;
    if (const speed_t code = StandardSpeed(dcb.BaudRate))
        cfsetspeed(&t, code);
    else
        out.CustomSpeed = true;

    switch (dcb.Flags & DcbFlag::DtrControlMask) {
    case 0:
        out.Dtr = ModemLine::Drop;
        break;
    case DcbFlag::DtrEnable:
        out.Dtr = ModemLine::Raise;
        break;
    default:
        out.Dtr = ModemLine::Leave;
        break;
    }
    switch (rts) {
    case 0:
        out.Rts = ModemLine::Drop;
        break;
    case DcbFlag::RtsEnable:
        out.Rts = ModemLine::Raise;
        break;
    default:
        out.Rts = ModemLine::Leave;
        break;
    }
    return out;
}
