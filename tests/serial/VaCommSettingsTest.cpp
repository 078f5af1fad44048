// What the port component does the same on every system: the control block its settings give,
// the speed rules, the write queue's room. Built for Linux and for Windows.
#include "platform/SerialDevice.h"
#include "platform/UiCall.h"
#include "serial/VaComm.h"
#include "serial/VaCommThreads.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

namespace {

using Clock = std::chrono::steady_clock;

TEST(PortControlBlock, SettingsGiveTheirFlagsAndFields)
{
    struct Case
    {
        const char* what;
        std::function<void(TVaComm&)> set;
        quint32 flags;
    };
    const Case cases[] = {
        {"parity check", [](TVaComm& p) { p.SetParityCheck(true); }, 0x0003},
        {"CTS flow", [](TVaComm& p) { p.FlowControl()->SetOutCtsFlow(true); }, 0x0005},
        {"DSR flow", [](TVaComm& p) { p.FlowControl()->SetOutDsrFlow(true); }, 0x0009},
        {"DTR on", [](TVaComm& p) { p.FlowControl()->SetControlDtr(dtrEnabled); }, 0x0011},
        {"DTR handshake", [](TVaComm& p) { p.FlowControl()->SetControlDtr(dtrHandshake); }, 0x0021},
        {"DSR sensitivity", [](TVaComm& p) { p.FlowControl()->SetDsrSensitivity(true); }, 0x0041},
        {"continue on XOFF", [](TVaComm& p) { p.FlowControl()->SetTxContinueOnXoff(true); },
         0x0081},
        {"XON/XOFF out", [](TVaComm& p) { p.FlowControl()->SetXonXoffOut(true); }, 0x0101},
        {"XON/XOFF in", [](TVaComm& p) { p.FlowControl()->SetXonXoffIn(true); }, 0x0201},
        {"error char", [](TVaComm& p) { p.SetOptions({coErrorChar}); }, 0x0401},
        {"null strip", [](TVaComm& p) { p.SetOptions({coNullStrip}); }, 0x0801},
        {"RTS on", [](TVaComm& p) { p.FlowControl()->SetControlRts(rtsEnabled); }, 0x1001},
        {"RTS handshake", [](TVaComm& p) { p.FlowControl()->SetControlRts(rtsHandshake); }, 0x2001},
        {"RTS toggle", [](TVaComm& p) { p.FlowControl()->SetControlRts(rtsToggle); }, 0x3001},
    };
    for (const Case& c : cases) {
        TVaComm port;
        c.set(port);
        EXPECT_EQ(port.MakeControlBlock().Flags, c.flags) << c.what;
    }

    TVaComm port;
    port.SetDatabits(db5);
    port.SetParity(paMark);
    port.SetStopbits(sb15);
    port.EventChars()->SetXonChar('A');
    port.EventChars()->SetEventChar('\n');
    CommControlBlock dcb = port.MakeControlBlock();
    EXPECT_EQ(dcb.BaudRate, 1200u) << "the default speed";
    EXPECT_EQ(dcb.ByteSize, 5);
    EXPECT_EQ(dcb.Parity, 3);
    EXPECT_EQ(dcb.StopBits, 1);
    EXPECT_EQ(dcb.XonChar, 'A');
    EXPECT_EQ(dcb.EvtChar, '\n');

    port.Buffers()->SetReadSize(2048);
    EXPECT_EQ(port.MakeControlBlock().XonLim, 512);
    EXPECT_EQ(port.MakeControlBlock().XoffLim, 512);
    port.Buffers()->SetReadSize(100000);
    EXPECT_EQ(port.MakeControlBlock().XonLim, 1024);
    port.Buffers()->SetReadSize(-8);
    EXPECT_EQ(port.MakeControlBlock().XonLim, 0);
}

TEST(PortSpeed, BaudrateAndUserBaudrateRules)
{
    TVaComm port;
    EXPECT_EQ(port.Baudrate(), br1200);
    port.SetUserBaudrate(31250);
    EXPECT_EQ(port.Baudrate(), brUser);
    EXPECT_EQ(port.MakeControlBlock().BaudRate, 31250u);
    port.SetBaudrate(brUser);
    EXPECT_EQ(port.UserBaudrate(), 31250) << "choosing brUser keeps the user speed";
    port.SetBaudrate(br56000);
    EXPECT_EQ(port.UserBaudrate(), 0);
    EXPECT_EQ(port.MakeControlBlock().BaudRate, 56000u);
    port.SetUserBaudrate(0);
    EXPECT_EQ(port.Baudrate(), br56000) << "the same user speed changes nothing";

    const quint32 speeds[] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                              14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
    for (int b = brUser; b <= br256000; ++b)
        EXPECT_EQ(BaudrateSpeed(TVaBaudrate(b)), speeds[b]) << b;
}

TEST(WriteQueue, TakesWhatFitsAtOnceAndWaitsForRoomWithinWriteTimeout)
{
    // A writer that has not been started, on a device that takes nothing, keeps what is queued.
    UiCallTarget calls(nullptr);
    SerialDevice closed;
    TVaCriticalSection lock;
    TVaBuffers buffers;
    buffers.SetWriteTimeout(150);
    TVaCommWriteThread writer({nullptr, &calls, {}}, closed, lock, buffers);
    ASSERT_EQ(writer.Buffer.Capacity(), 2048);
    const QByteArray bytes(2048, 'x');
    ASSERT_TRUE(writer.Queue(bytes.constData(), 2000));

    EXPECT_TRUE(writer.Queue(bytes.constData(), 48));
    EXPECT_EQ(writer.Buffer.Size(), 2048);

    writer.Buffer.Consume(48);
    const auto start = Clock::now();
    EXPECT_FALSE(writer.Queue(bytes.constData(), 49));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(150));
    EXPECT_EQ(writer.Buffer.Size(), 2000) << "nothing queued";
}

} // namespace
