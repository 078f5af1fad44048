// The printer link driven as a program without windows drives it: only the core application,
// its own poll tick, and a printer played by the test on COM3.

#include "printer/PrinterLink.h"
#include "printer/Frame.h"
#include "printer/LinkState.h"
#include "printer/Payloads.h"
#include "printer/Reply.h"
#include "printer/TrafficRecord.h"
#include "runtime/TimeBase.h"
#include "runtime/Timer.h"
#include "serial/VaComm.h"
#include "support/PtyPair.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace {

const QByteArray StatusReply = QByteArrayLiteral("\x02"
                                                 "D\x1C"
                                                 "000080\x1C"
                                                 "0600\x1C"
                                                 "QDX0012345\x1C"
                                                 "X\x03"
                                                 "0ABC");

class PrinterLinkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        qputenv("ORVALEN_COM_DIR", dir_.path().toLocal8Bit());
        TimeBase::SetScale(25);
        // Made on the sped-up clock: a timer takes the clock's pace when it starts.
        poll = std::make_unique<TTimer>();
        poll->SetInterval(TPrinterLink::PollIntervalMs);
        poll->OnTimer = [this](QObject*) { link.Poll(); };
    }

    void TearDown() override
    {
        poll.reset();
        TimeBase::SetScale(1);
        TimeBase::Reset();
        qunsetenv("ORVALEN_COM_DIR");
    }

    QTemporaryDir dir_;
    TTrafficRecord traffic;
    TPrinterLink link{traffic};
    std::unique_ptr<TTimer> poll;
};

} // namespace

TEST_F(PrinterLinkTest, SearchFindsThePrinterAndItsSerialThenCommandsGoToIt)
{
    PtyPair printer(dir_.path() + QStringLiteral("/com3"));
    printer.OnFrame = [&printer](const QByteArray& payload) {
        printer.Send(payload == PayloadEstado() ? StatusReply
                                                : QByteArray("\x02X\x1C"
                                                             "ERROR\x03"));
    };
    QList<int> tried;
    QObject::connect(&link, &TPrinterLink::PortTried, [&tried](int com) { tried.append(com); });
    QList<QByteArray> shown;
    QObject::connect(&link, &TPrinterLink::ReplyChanged,
                     [&shown](const QByteArray& reply) { shown.append(reply); });

    const TSearchResult result = link.Search();
    ASSERT_TRUE(result.Found);
    EXPECT_EQ(result.Com, 3);
    EXPECT_EQ(result.SerialNumber, QByteArray("QDX0012345"));
    EXPECT_EQ(link.SerialNumber(), result.SerialNumber);
    EXPECT_TRUE(ImpresorEncontrado());
    EXPECT_TRUE(result.Refusals.isEmpty()); // COM1 and COM2 are missing, which is no refusal
    EXPECT_EQ(tried, (QList<int>{1, 2, 3}));
    ASSERT_FALSE(shown.isEmpty());
    EXPECT_EQ(shown.last(), StatusReply);

    EXPECT_TRUE(link.Send(PayloadFechaHora("261208", "153000")));
    EXPECT_TRUE(link.ReplyComplete());
    EXPECT_TRUE(DateTimeRefused(link.Reply()));
    EXPECT_EQ(printer.Payloads().last(), PayloadFechaHora("261208", "153000"));
}

TEST_F(PrinterLinkTest, OpensAGivenPortWithoutSearching)
{
    PtyPair printer(dir_.path() + QStringLiteral("/com7"));
    printer.OnFrame = [&printer](const QByteArray&) { printer.Send(StatusReply); };
    EXPECT_THROW(link.OpenCom(6), std::exception);
    link.OpenCom(7);
    EXPECT_TRUE(link.Send(PayloadEstado()));
    EXPECT_EQ(SerialNumberOf(link.Reply()), QByteArray("QDX0012345"));

    PtyPair other;
    link.OpenDevice(other.Path());
    EXPECT_TRUE(link.Port()->Active());
}

// As orvalenctl drives it: what an earlier exchange left is dropped before the frame goes out, and
// only the frame's own answer ends the exchange.
TEST_F(PrinterLinkTest, AStrictLinkTakesOnlyTheAnswerToItsFrame)
{
    PtyPair printer(dir_.path() + QStringLiteral("/com3"));
    link.AnswerOf = AnswerTo;
    link.OpenCom(3);
    const QByteArray stale = "left" + BuildFrame(0x30, "\x80"
                                                       "A");
    ASSERT_TRUE(printer.Send(stale));
    ASSERT_TRUE(printer.WaitForInput(std::chrono::steady_clock::now() + std::chrono::seconds(5)));
    QByteArray answer;
    printer.OnFrame = [&](const QByteArray&) {
        const char seq = link.LastFrame().at(1);
        answer = BuildFrame(seq, "\x80"
                                 "A\x1C"
                                 "0000\x1C"
                                 "0080\x1C"
                                 "QDX0012345");
        // An echo, another sequence byte, bad check digits: none of them is the answer.
        printer.Send(link.LastFrame() +
                     BuildFrame(char(seq + 1), "\x80"
                                               "A") +
                     BuildFrame(seq, "\x80"
                                     "B")
                         .chopped(1) +
                     "X" + answer);
    };
    EXPECT_TRUE(link.Send(PayloadEstado()));
    EXPECT_FALSE(link.Reply().contains(stale));
    EXPECT_EQ(AnswerTo(link.LastFrame(), link.Reply()), answer);
}

TEST(ReplyTest, ReplyEndsAtAZeroByteAndAtItsCapacity)
{
    const QByteArray reply = AppendedReply(AppendedReply({}, QByteArray("\x02"
                                                                        "AB\0CD\x03",
                                                                        7)),
                                           "EF\x03");
    EXPECT_EQ(reply, QByteArray("\x02"
                                "ABEF\x03"));
    EXPECT_EQ(AppendedReply(QByteArray(ReplyCapacity - 1, 'x'), "yz").size(), ReplyCapacity);
}
