// The port on Windows, under Wine: COM3 is the port, COM4 the far end of the line (wine-run.sh
// makes them the two ends of a pseudo-terminal pair).
#include "platform/SerialDevice.h"
#include "runtime/ErrorReport.h"
#include "runtime/Wait.h"
#include "serial/CommError.h"
#include "serial/VaComm.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <windows.h>

namespace {

// Lets the event loop run (and so serve hand-overs) until done() or `secs` have passed.
bool RunLoopUntil(const std::function<bool()>& done, double secs = 20)
{
    QTimer look;
    look.start(2);
    return WaitUntil(Now() + Seconds(secs), done);
}

class WinePort : public ::testing::Test
{
protected:
    void SetUp() override
    {
        port.SetPortNum(3);
        port.SetBaudrate(br9600);
        port.FlowControl()->SetOutCtsFlow(false);
        port.FlowControl()->SetXonXoffOut(false);
        port.OnClose = [this](QObject*) { ++closes; };
        ASSERT_EQ(peer.Open("\\\\.\\COM4"), 0);
        SetErrorReportHook([this](const QString& text) { reports << text; });
    }
    void TearDown() override { SetErrorReportHook({}); }

    void PeerSends(const QByteArray& bytes)
    {
        bool completed = false;
        ASSERT_EQ(peer.Write(bytes.constData(), int(bytes.size()), 20000, completed), 0);
        ASSERT_TRUE(completed);
    }
    QByteArray PeerReceives(int count)
    {
        QByteArray got;
        RunLoopUntil([&] {
            char buffer[4096];
            int n = 0;
            if (peer.Read(buffer, sizeof buffer, n) == 0)
                got.append(buffer, n);
            return got.size() >= count;
        });
        return got;
    }

    TVaComm port;
    SerialDevice peer;
    QStringList reports;
    int closes = 0;
};

TEST_F(WinePort, AComNumberWithNoPortBehindItIsNotFound)
{
    port.SetPortNum(9);
    int systemError = 0;
    const QString message = ErrorOf([&] {
        try {
            port.Open();
        } catch (const EVaCommError& e) {
            systemError = e.SystemError();
            throw;
        }
    });
    EXPECT_EQ(message, "Specified device not found (COM9).");
    EXPECT_EQ(systemError, ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(port.Active());
}

TEST_F(WinePort, QueuedWritesArriveInOrderAndTxEmptyWaitsForTheLine)
{
    int txEmpty = 0;
    quint32 leftToSend = ~0u;
    port.OnTxEmpty = [&](QObject*) {
        ++txEmpty;
        TVaCommStatus status;
        port.GetCommStatus(status);
        leftToSend = status.Status.cbOutQue;
    };
    port.Open();
    QByteArray sent;
    for (char c = 'a'; c < 'd'; ++c) {
        const QByteArray piece(1500, c);
        ASSERT_EQ(port.WriteBuf(piece.constData(), int(piece.size())), 1500);
        sent += piece;
    }
    EXPECT_EQ(PeerReceives(int(sent.size())), sent);
    ASSERT_TRUE(RunLoopUntil([&] { return txEmpty > 0; }));
    EXPECT_EQ(leftToSend, 0u);
}

TEST_F(WinePort, InputPassingFourFifthsOfReadSizeRaisesOnRx80FullOncePerPass)
{
    // On Windows the driver's queue is ReadSize: the mark is 800 bytes.
    port.Buffers()->SetReadSize(1000);
    port.SetMonitorEvents({ceRx80Full});
    int full = 0;
    port.OnRx80Full = [&](QObject*) { ++full; };
    port.Open();
    PeerSends(QByteArray(700, 'a'));
    ASSERT_TRUE(RunLoopUntil([&] { return port.ReadBufUsed() == 700; }));
    PeerSends(QByteArray(200, 'b'));
    ASSERT_TRUE(RunLoopUntil([&] { return full == 1; }));
    PeerSends(QByteArray(50, 'c'));
    EXPECT_FALSE(RunLoopUntil([&] { return full > 1; }, 0.5)) << "once until read below";
    EXPECT_EQ(port.ReadText().size(), 950);
    PeerSends(QByteArray(900, 'd'));
    EXPECT_TRUE(RunLoopUntil([&] { return full == 2; }));
}

TEST_F(WinePort, WritesThatCannotFinishInTimeEndInTheirBound)
{
    // Nobody reads the far end: the line's buffers fill, then the write queue.
    port.Buffers()->SetWriteTimeout(300);
    port.Open();
    const QByteArray piece(2048, 'w');
    QString error;
    for (int i = 0; i < 2000 && error.isEmpty(); ++i)
        error = ErrorOf([&] { port.WriteBuf(piece.constData(), int(piece.size())); });
    EXPECT_EQ(error, "Output buffer is full. Please check comm status.");
    port.Close();

    port.SetDirectWrite(true);
    port.Buffers()->SetReadTimeout(300);
    port.Open();
    const QByteArray block(256 * 1024, 'x');
    EXPECT_EQ(port.WriteBuf(block.constData(), int(block.size())), 0);
    EXPECT_TRUE(port.Active());
}

// Last: it ends the port pair for good.
TEST_F(WinePort, ZZ_ADeviceThatDisappearsWhileOpenIsReportedOnceAndClosesThePort)
{
    port.Open();
    const QByteArray unplug = qgetenv("ORVALEN_WINE_UNPLUG");
    ASSERT_FALSE(unplug.isEmpty()) << "run through wine-run.sh";
    CloseHandle(CreateFileA(unplug.constData(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));

    ASSERT_TRUE(RunLoopUntil([&] { return !port.Active(); }));
    EXPECT_EQ(closes, 1);
    ASSERT_EQ(reports.size(), 1) << reports.join('\n').toStdString();
    EXPECT_TRUE(reports[0].startsWith("Error retrieving statistics (")) << reports[0].toStdString();
    EXPECT_FALSE(port.WriteText("x")) << "closed now: no further error";
}

} // namespace
