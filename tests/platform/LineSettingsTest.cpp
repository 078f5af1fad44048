#include "platform/LineSettings.h"

#include <gtest/gtest.h>

namespace {

// A terminal as a previous user may have left it: cooked, echoing, with flow control on.
termios CookedTerminal()
{
    termios t{};
    t.c_iflag = ICRNL | IXON | IXOFF | IXANY | INPCK | BRKINT;
    t.c_oflag = OPOST | ONLCR;
    t.c_cflag = CS7 | PARENB | CSTOPB | CRTSCTS | HUPCL;
    t.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 5;
    cfsetspeed(&t, B4800);
    return t;
}

CommControlBlock PlainBlock()
{
    CommControlBlock dcb;
    dcb.BaudRate = 9600;
    dcb.Flags = DcbFlag::Binary;
    dcb.ByteSize = 8;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return dcb;
}

TEST(LineSettings, PlainBlockGivesRawEightNoneOne)
{
    const LineSettings s = MakeLineSettings(CookedTerminal(), PlainBlock());
    ASSERT_TRUE(s.Valid);
    const termios& t = s.Tio;
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
    EXPECT_TRUE(t.c_cflag & HUPCL) << "fields the mapping does not own stay";
    EXPECT_EQ(t.c_iflag & (ICRNL | IXON | IXOFF | IXANY | INPCK | BRKINT), 0u);
    EXPECT_TRUE(t.c_iflag & IGNBRK) << "a break must not arrive as a zero byte";
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_cc[VMIN], 1);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_EQ(t.c_cc[VSTART], 0x11);
    EXPECT_EQ(t.c_cc[VSTOP], 0x13);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B9600));
    EXPECT_EQ(cfgetispeed(&t), speed_t(B9600));
    EXPECT_FALSE(s.CustomSpeed);
    EXPECT_EQ(s.Dtr, ModemLine::Drop);
    EXPECT_EQ(s.Rts, ModemLine::Drop);
}

TEST(LineSettings, RawModeLeavesSpeedFramingAndFlowControlAlone)
{
    termios t = CookedTerminal();
    MakeRaw(t);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_iflag & (ICRNL | BRKINT), 0u);
    EXPECT_TRUE(t.c_iflag & IGNBRK);
    EXPECT_EQ(t.c_cc[VMIN], 1);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    const termios before = CookedTerminal();
    EXPECT_EQ(t.c_cflag, before.c_cflag);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY | INPCK),
              before.c_iflag & (IXON | IXOFF | IXANY | INPCK));
    EXPECT_EQ(cfgetospeed(&t), speed_t(B4800));
}

struct FramingCase
{
    quint8 byteSize, parity, stopBits;
    tcflag_t size, parityBits;
    bool twoStops;
};

class Framing : public ::testing::TestWithParam<FramingCase>
{
};

TEST_P(Framing, MapsDataBitsParityAndStopBits)
{
    const FramingCase& c = GetParam();
    CommControlBlock dcb = PlainBlock();
    dcb.ByteSize = c.byteSize;
    dcb.Parity = c.parity;
    dcb.StopBits = c.stopBits;
    const LineSettings s = MakeLineSettings(termios{}, dcb);
    ASSERT_TRUE(s.Valid);
    EXPECT_EQ(s.Tio.c_cflag & CSIZE, c.size);
    EXPECT_EQ(s.Tio.c_cflag & (PARENB | PARODD | CMSPAR), c.parityBits);
    EXPECT_EQ((s.Tio.c_cflag & CSTOPB) != 0, c.twoStops);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, Framing,
    ::testing::Values(FramingCase{4, 0, 0, CS5, 0, false}, // no 4-bit characters: nearest is 5
                      FramingCase{5, 1, 1, CS5, PARENB | PARODD, true},
                      FramingCase{6, 2, 2, CS6, PARENB, true},
                      FramingCase{7, 3, 0, CS7, PARENB | CMSPAR | PARODD, false},
                      FramingCase{8, 4, 0, CS8, PARENB | CMSPAR, false}));

struct FlowCase
{
    quint32 flags;
    tcflag_t cflag, iflag;
    ModemLine dtr, rts;
};

class Flow : public ::testing::TestWithParam<FlowCase>
{
};

TEST_P(Flow, MapsFlowFlagsAndModemLines)
{
    const FlowCase& c = GetParam();
    CommControlBlock dcb = PlainBlock();
    dcb.Flags |= c.flags;
    const LineSettings s = MakeLineSettings(CookedTerminal(), dcb);
    ASSERT_TRUE(s.Valid);
    EXPECT_EQ(s.Tio.c_cflag & CRTSCTS, c.cflag);
    EXPECT_EQ(s.Tio.c_iflag & (IXON | IXOFF | INPCK), c.iflag);
    EXPECT_EQ(s.Dtr, c.dtr);
    EXPECT_EQ(s.Rts, c.rts);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, Flow,
    ::testing::Values(
        FlowCase{DcbFlag::OutCtsFlow, CRTSCTS, 0, ModemLine::Drop, ModemLine::Drop},
        FlowCase{DcbFlag::RtsHandshake, CRTSCTS, 0, ModemLine::Drop, ModemLine::Leave},
        FlowCase{DcbFlag::RtsEnable | DcbFlag::DtrEnable, 0, 0, ModemLine::Raise, ModemLine::Raise},
        FlowCase{DcbFlag::RtsToggle | DcbFlag::DtrHandshake, 0, 0, ModemLine::Leave,
                 ModemLine::Leave},
        FlowCase{DcbFlag::XonXoffOut, 0, IXON, ModemLine::Drop, ModemLine::Drop},
        FlowCase{DcbFlag::XonXoffIn, 0, IXOFF, ModemLine::Drop, ModemLine::Drop},
        FlowCase{DcbFlag::ParityCheck | DcbFlag::OutDsrFlow | DcbFlag::DsrSensitivity, 0, INPCK,
                 ModemLine::Drop, ModemLine::Drop}));

TEST(LineSettings, SpeedsWithoutConstantGoThroughCustomSpeed)
{
    for (quint32 bps : {14400u, 56000u, 128000u, 256000u, 31250u}) {
        CommControlBlock dcb = PlainBlock();
        dcb.BaudRate = bps;
        const LineSettings s = MakeLineSettings(CookedTerminal(), dcb);
        ASSERT_TRUE(s.Valid) << bps;
        EXPECT_TRUE(s.CustomSpeed) << bps;
        EXPECT_EQ(s.Speed, bps);
    }
    for (quint32 bps : {110u, 1200u, 57600u, 115200u}) {
        CommControlBlock dcb = PlainBlock();
        dcb.BaudRate = bps;
        const LineSettings s = MakeLineSettings(CookedTerminal(), dcb);
        EXPECT_FALSE(s.CustomSpeed) << bps;
        EXPECT_EQ(cfgetospeed(&s.Tio), StandardSpeed(bps)) << bps;
    }
}

TEST(LineSettings, ImpossibleBlocksAreRefused)
{
    // Speed 0 would hang the line up; the others have no meaning.
    const auto refused = [](auto change) {
        CommControlBlock dcb = PlainBlock();
        change(dcb);
        return !MakeLineSettings(termios{}, dcb).Valid;
    };
    EXPECT_TRUE(refused([](CommControlBlock& d) { d.BaudRate = 0; }));
    EXPECT_TRUE(refused([](CommControlBlock& d) { d.BaudRate = 0x80000000u; }));
    EXPECT_TRUE(refused([](CommControlBlock& d) { d.ByteSize = 3; }));
    EXPECT_TRUE(refused([](CommControlBlock& d) { d.ByteSize = 9; }));
    EXPECT_TRUE(refused([](CommControlBlock& d) { d.Parity = 5; }));
    EXPECT_TRUE(refused([](CommControlBlock& d) { d.StopBits = 3; }));
}

} // namespace
