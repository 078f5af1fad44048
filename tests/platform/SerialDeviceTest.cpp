#include "platform/SerialDevice.h"

#include "platform/CustomSpeed.h"
#include "platform/LineEvents.h"
#include "support/PtyPair.h"

#include <gtest/gtest.h>

namespace {

CommControlBlock Block(quint32 bps)
{
    CommControlBlock dcb;
    dcb.BaudRate = bps;
    dcb.Flags = DcbFlag::Binary;
    dcb.ByteSize = 8;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return dcb;
}

TEST(SerialDevice, MissingDeviceIsEnoent)
{
    SerialDevice device;
    EXPECT_EQ(device.Open("/dev/orvalen-no-such-port"), ENOENT);
    EXPECT_FALSE(device.IsOpen());
}

TEST(SerialDevice, BytesTravelBothWaysAndReadsNeverWait)
{
    PtyPair pty;
    SerialDevice device;
    ASSERT_EQ(device.Open(pty.Path()), 0);
    ASSERT_EQ(device.ApplyControlBlock(Block(9600)), 0);

    char buffer[64];
    int got = -1;
    EXPECT_EQ(device.Read(buffer, sizeof buffer, got), 0);
    EXPECT_EQ(got, 0) << "nothing waiting is not an error";

    // Raw mode: 0x03 and CR/LF arrive untouched, nothing is echoed back.
    const QByteArray frame("\x02"
                           "A\r\n\x03"
                           "01FF",
                           9);
    pty.Send(frame);
    quint32 in = 0, out = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    do {
        ASSERT_EQ(device.QueueCounts(in, out), 0);
    } while (in < quint32(frame.size()) && pty.WaitForInput(deadline));
    EXPECT_EQ(in, quint32(frame.size()));
    ASSERT_EQ(device.Read(buffer, sizeof buffer, got), 0);
    EXPECT_EQ(QByteArray(buffer, got), frame);
    EXPECT_EQ(pty.Receive(1, 50), QByteArray()) << "no echo";

    quint32 errors = 1;
    EXPECT_EQ(device.TakeLineErrors(errors), 0) << "a pty has no error counters: not a failure";
    EXPECT_EQ(errors, 0u);
}

TEST(SerialDevice, CustomSpeedReachesTheDevice)
{
    PtyPair pty;
    SerialDevice device;
    ASSERT_EQ(device.Open(pty.Path()), 0);
    ASSERT_EQ(device.ApplyControlBlock(Block(14400)), 0);
    quint32 in = 0, out = 0;
    ASSERT_EQ(GetSpeeds(pty.Master(), in, out), 0);
    EXPECT_EQ(out, 14400u);
    EXPECT_EQ(in, 14400u);

    ASSERT_EQ(device.ApplyControlBlock(Block(9600)), 0);
    EXPECT_EQ(cfgetospeed(&static_cast<const termios&>(pty.Settings())), speed_t(B9600));
    ASSERT_EQ(GetSpeeds(pty.Master(), in, out), 0);
    EXPECT_EQ(in, 9600u) << "the input speed follows again";
}

TEST(SerialDevice, CloseDiscardsOutputTheLineHasNotTaken)
{
    PtyPair pty;
    SerialDevice device;
    ASSERT_EQ(device.Open(pty.Path()), 0);
    ASSERT_EQ(device.ApplyControlBlock(Block(9600)), 0);
    // Nobody reads the other end: the driver takes what it can hold and the rest times out.
    const QByteArray lots(64 * 1024, 'x');
    bool completed = true;
    ASSERT_EQ(device.Write(lots.constData(), int(lots.size()), 20, completed), 0);
    EXPECT_FALSE(completed);
    device.Close();
    // What the far end can still read is only what had reached its own input side.
    EXPECT_LE(pty.Receive(int(lots.size()), 100).size(), 4096);
}

TEST(SerialDevice, UnpluggedDeviceFailsWithEio)
{
    PtyPair pty;
    SerialDevice device;
    ASSERT_EQ(device.Open(pty.Path()), 0);
    ASSERT_EQ(device.ApplyControlBlock(Block(9600)), 0);
    pty.CloseMaster();

    char buffer[8];
    int got = 0;
    EXPECT_EQ(device.Read(buffer, sizeof buffer, got), EIO);
    quint32 in = 0, out = 0;
    EXPECT_EQ(device.QueueCounts(in, out), EIO);
    EXPECT_EQ(device.CheckPresent(), EIO);
    bool completed = true;
    EXPECT_EQ(device.Write("x", 1, 100, completed), EIO);
    EXPECT_FALSE(completed);
    EXPECT_TRUE(IsDeviceGone(EIO));
}

} // namespace
