// The Win32 side of the platform layer against real ports: under Wine, COM3 and COM4 are the two
// ends of a pseudo-terminal pair (wine-run.sh), so what one port sends the other receives.
#include "platform/DevicePath.h"
#include "platform/ErrorText.h"
#include "platform/LineEvents.h"
#include "platform/LineWatch.h"
#include "platform/SystemError.h"
#include "platform/win32/SerialDeviceSide.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>

namespace {

constexpr auto Generous = std::chrono::seconds(20);

CommControlBlock Line9600()
{
    CommControlBlock block;
    block.BaudRate = 9600;
    block.Flags = DcbFlag::Binary | DcbFlag::DtrEnable | DcbFlag::RtsEnable;
    block.ByteSize = 8;
    return block;
}

struct PortPair : ::testing::Test
{
    void SetUp() override
    {
        ASSERT_EQ(ours.Open("\\\\.\\COM3"), 0);
        ASSERT_EQ(peer.Open("\\\\.\\COM4"), 0);
        ASSERT_EQ(ours.ApplyControlBlock(Line9600()), 0);
        ASSERT_EQ(peer.ApplyControlBlock(Line9600()), 0);
    }
    SerialDevice ours, peer;
    LineActivity activity;
    UniqueHandle stop = MakeEvent();
};

TEST(Win32Port, NamesMapOntoDevicesAndMissingPortsAreSaid)
{
    EXPECT_EQ(DevicePathFor("COM3"), QByteArray("\\\\.\\COM3"));
    EXPECT_EQ(DevicePathFor("\\\\.\\com12"), QByteArray("\\\\.\\COM12"));
    EXPECT_FALSE(DevicePathFor("COM07"));
    EXPECT_FALSE(DevicePathFor("LPT1"));

    SerialDevice none;
    EXPECT_EQ(none.Open("\\\\.\\COM9"), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(none.IsOpen());
    const QString english = EnglishErrorText(ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(english.isEmpty());
    EXPECT_FALSE(english.endsWith(QLatin1Char('.'))) << english.toStdString();
    EXPECT_EQ(UntranslatedError(ERROR_FILE_NOT_FOUND), english.toStdString());
    EXPECT_FALSE(UserErrorText(ERROR_ACCESS_DENIED).isEmpty());
}

TEST_F(PortPair, ImpossibleSettingsAreRefusedAndThePtyHasNoModemLines)
{
    CommControlBlock hangUp = Line9600();
    hangUp.BaudRate = 0;
    EXPECT_EQ(ours.ApplyControlBlock(hangUp), ERROR_INVALID_PARAMETER);
    DWORD lines = 0;
    bool have = true;
    EXPECT_EQ(ours.Own().ModemStatus(lines, have), 0);
    EXPECT_FALSE(have);
}

TEST_F(PortPair, WrittenBytesWakeTheWatcherAndArriveWhole)
{
    LineWatch watch(peer, EV_RXCHAR | EV_ERR, activity);
    const QByteArray frame("\x02\x20\x38\x30\x03\x30\x31\x31\x45", 9);
    bool completed = false;
    ASSERT_EQ(ours.Write(frame.constData(), int(frame.size()), 5000, completed), 0);
    EXPECT_TRUE(completed);

    QByteArray got;
    const auto until = std::chrono::steady_clock::now() + Generous;
    while (got.size() < frame.size() && std::chrono::steady_clock::now() < until) {
        const quint32 events = watch.Wait(stop.Get(), nullptr);
        ASSERT_NE(events, LineEvent::Gone) << watch.Failure();
        if (!(events & EV_RXCHAR))
            continue;
        char buffer[64];
        int n = 0;
        ASSERT_EQ(peer.Read(buffer, sizeof buffer, n), 0);
        got.append(buffer, n);
    }
    EXPECT_EQ(got, frame);
    quint32 input = 1, output = 1;
    EXPECT_EQ(peer.QueueCounts(input, output), 0);
    EXPECT_EQ(input, 0u);
    int n = -1;
    char buffer[8];
    EXPECT_EQ(peer.Read(buffer, sizeof buffer, n), 0); // nothing waiting: no wait either
    EXPECT_EQ(n, 0);
}

TEST_F(PortPair, TheStopEventEndsAWaitAtOnce)
{
    auto watch = std::make_unique<LineWatch>(peer, EV_RXCHAR, activity);
    auto waiting = std::async(std::launch::async, [&] { return watch->Wait(stop.Get(), nullptr); });
    SetEvent(stop.Get());
    ASSERT_EQ(waiting.wait_for(Generous), std::future_status::ready);
    EXPECT_EQ(waiting.get(), 0u);
    // The pending system wait is cancelled with the watcher, and the port closes at once.
    watch.reset();
    peer.Close();
    EXPECT_FALSE(peer.IsOpen());
}

TEST_F(PortPair, AWriteThatCannotFinishEndsAtItsBound)
{
    // Nobody reads the other end: the pseudo-terminal's buffer fills and the write stalls.
    const QByteArray block(256 * 1024, 'x');
    int written = -1;
    EXPECT_EQ(ours.WriteSome(block.constData(), int(block.size()), 300, nullptr, written), 0);
    EXPECT_GE(written, 0);
    EXPECT_LT(written, block.size());
    bool completed = true;
    EXPECT_EQ(ours.Write(block.constData(), int(block.size()), 300, completed), 0);
    EXPECT_FALSE(completed);
    EXPECT_EQ(ours.Own().Purge(PURGE_TXABORT | PURGE_TXCLEAR), 0);
}

// Last: it ends the port pair for good.
TEST_F(PortPair, ZZ_APulledOutAdapterIsReportedOnceAsGone)
{
    LineWatch watch(ours, EV_RXCHAR | EV_ERR, activity);
    const QByteArray unplug = qgetenv("ORVALEN_WINE_UNPLUG");
    ASSERT_FALSE(unplug.isEmpty()) << "run through wine-run.sh";
    UniqueHandle(
        CreateFileA(unplug.constData(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));

    const auto until = std::chrono::steady_clock::now() + Generous;
    quint32 events = 0;
    while (events != LineEvent::Gone && std::chrono::steady_clock::now() < until)
        events = watch.Wait(stop.Get(), nullptr);
    ASSERT_EQ(events, LineEvent::Gone);
    EXPECT_TRUE(IsDeviceGone(watch.Failure())) << watch.Failure();
    char buffer[8];
    int n = 0;
    EXPECT_TRUE(IsDeviceGone(ours.Read(buffer, sizeof buffer, n)));
    bool completed = true;
    EXPECT_TRUE(IsDeviceGone(ours.Write("x", 1, 1000, completed)));
    // Reported once: afterwards only the stop event ends a wait.
    SetEvent(stop.Get());
    EXPECT_EQ(watch.Wait(stop.Get(), nullptr), 0u);
}

} // namespace
