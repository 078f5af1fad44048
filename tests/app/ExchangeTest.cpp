#include "FormFixture.h"

#include "printer/Payloads.h"

#include <QTimer>

// Waits are measured on the program's clock. Their lower bounds are exact; how much longer a
// busy machine makes them is no test's business.

using ExchangeTest = FormFixture;

TEST_F(ExchangeTest, ImmediateReplyReturnsAfterTheSettlingPause)
{
    peer->OnFrame = [this](const QByteArray&) {
        peer->Send("\x02"
                   "D80\x03"
                   "0123");
    };
    const double secs = ProgramSecs([this] { form->EnviaComando(PayloadReporteZ()); });
    EXPECT_GE(secs, 2.0);
    EXPECT_TRUE(RespuestaCompleta());
    EXPECT_EQ(Reply(), QByteArray("\x02"
                                  "D80\x03"
                                  "0123"));
    ASSERT_EQ(peer->Payloads().size(), 1);
    EXPECT_EQ(peer->Received(), QByteArray("\x02"
                                           "D9\x1CZ\x1CT\x03"
                                           "0168"));
}

TEST_F(ExchangeTest, SilenceCostsTheFullWaitAndThePause)
{
    const double secs = ProgramSecs([this] { form->EnviaComando(PayloadEstado()); });
    EXPECT_GE(secs, 32.0);
    EXPECT_FALSE(RespuestaCompleta());
    EXPECT_TRUE(Reply().isEmpty());
}

TEST_F(ExchangeTest, ClosedPortWritesNothingAndWaitsInFull)
{
    form->puerto->Close();
    const double secs = ProgramSecs([this] { form->EnviaComando(PayloadEstado()); });
    EXPECT_GE(secs, 32.0);
    EXPECT_FALSE(RespuestaCompleta());
    EXPECT_TRUE(peer->Received().isEmpty());
}

TEST_F(ExchangeTest, ReplySplitOverTicksIsJoinedInOrder)
{
    peer->OnFrame = [this](const QByteArray&) {
        peer->Send("\x02"
                   "AB");
        peer->SendAfter(1.5, "CD");
        peer->SendAfter(3.0, "EF\x03");
    };
    const double secs = ProgramSecs([this] { form->EnviaComando(PayloadAbreNF()); });
    EXPECT_EQ(Reply(), QByteArray("\x02"
                                  "ABCDEF\x03"));
    EXPECT_TRUE(RespuestaCompleta());
    EXPECT_GE(secs, 5.0);
}

TEST_F(ExchangeTest, EtxAfterTenSecondsEndsTheWaitAtTheNextTick)
{
    peer->OnFrame = [this](const QByteArray&) { peer->SendAfter(10, "\x02OK\x03"); };
    const double secs = ProgramSecs([this] { form->EnviaComando(PayloadAbreNF()); });
    EXPECT_TRUE(RespuestaCompleta());
    EXPECT_GE(secs, 12.0);
}

TEST_F(ExchangeTest, ZeroByteCutsTheReadAndLaterBytesAppendBehind)
{
    peer->OnFrame = [this](const QByteArray&) {
        peer->Send(QByteArray("\x02"
                              "AB\0CD\x03",
                              7));
        peer->SendAfter(3, "EF\x03");
    };
    form->EnviaComando(PayloadAbreNF());
    // The ETX after the zero byte was lost with it; the one of the later read ends the reply.
    EXPECT_EQ(Reply(), QByteArray("\x02"
                                  "ABEF\x03"));
    EXPECT_TRUE(RespuestaCompleta());
}

TEST_F(ExchangeTest, NestedCommandClearsTheFirstReply)
{
    // The first command gets only a beginning of a reply; a second command, started from a
    // timer inside the first one's wait, gets a whole one.
    peer->OnFrame = [this](const QByteArray& payload) {
        peer->Send(payload == "H" ? QByteArray("FIRST") : QByteArray("\x02SECOND\x03"));
    };
    double innerSecs = 0;
    QTimer::singleShot(TimeBase::RealMs(5000), form.get(), [&] {
        innerSecs = ProgramSecs([this] { form->EnviaComando(PayloadCierraNF()); });
    });
    form->EnviaComando(PayloadAbreNF());
    EXPECT_EQ(peer->Payloads(), (QList<QByteArray>{"H", PayloadCierraNF()}));
    EXPECT_EQ(Reply(), QByteArray("\x02SECOND\x03"));
    EXPECT_TRUE(RespuestaCompleta());
    EXPECT_GE(innerSecs, 2.0);
}

TEST_F(ExchangeTest, SequenceBytesOfTheFirstFrames)
{
    peer->OnFrame = [this](const QByteArray&) { peer->Send("\x03"); };
    for (int i = 0; i < 4; ++i)
        form->EnviaComando(PayloadAbreNF());
    QByteArray sequence;
    const QByteArray received = peer->Received();
    for (qsizetype at = received.indexOf('\x02'); at >= 0; at = received.indexOf('\x02', at + 1))
        sequence.append(received[at + 1]);
    EXPECT_EQ(sequence, QByteArray("\x44\x45\x46\x35"));
}
