#include "serial/VaComm.h"
#include "platform/CustomSpeed.h"
#include "runtime/ErrorReport.h"
#include "serial/CommError.h"
#include "support/ComDir.h"
#include "support/PtyPair.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QString OpenError(TVaComm& port)
{
    return ErrorOf([&] { port.Open(); });
}

// A port set up as the main window keeps it, on COM3 = a pseudo-terminal.
class Port : public ::testing::Test
{
protected:
    ComDir com;
    PtyPair pty;
    TVaComm port;
    QStringList reports;
    int opens = 0;
    int closes = 0;

    void SetUp() override
    {
        ASSERT_TRUE(pty.IsOpen());
        com.Link(3, pty.Path());
        Configure(port);
        port.OnOpen = [this](QObject* sender) {
            EXPECT_EQ(sender, &port);
            ++opens;
        };
        port.OnClose = [this](QObject* sender) {
            EXPECT_EQ(sender, &port);
            ++closes;
        };
        SetErrorReportHook([this](const QString& text) { reports << text; });
    }
    void TearDown() override { SetErrorReportHook({}); }

    static void Configure(TVaComm& p)
    {
        p.SetDeviceName("\\\\.\\COM%d");
        p.SetPortNum(3);
        p.SetBaudrate(br9600);
        p.FlowControl()->SetOutCtsFlow(false);
        p.FlowControl()->SetControlDtr(dtrDisabled);
        p.FlowControl()->SetControlRts(rtsDisabled);
        p.FlowControl()->SetXonXoffOut(false);
        p.SetMonitorEvents({ceError, ceRxChar});
        p.SetDirectWrite(true);
    }

    // Sets the slave to 4800 baud behind the port's back; a rewrite of the settings shows as
    // 9600 again.
    void DisturbSpeed()
    {
        termios t = pty.Settings();
        cfsetspeed(&t, B4800);
        ASSERT_EQ(tcsetattr(pty.Slave(), TCSANOW, &t), 0);
    }
    speed_t Speed() const
    {
        const termios t = pty.Settings();
        return cfgetospeed(&t);
    }

    // Reads what arrives until `count` bytes are in or 2 s have passed.
    QByteArray ReadUntil(int count)
    {
        QByteArray got;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while ((got += port.ReadText()).size() < count && pty.WaitForInput(deadline)) {
        }
        return got;
    }
};

TEST_F(Port, MissingDeviceRaisesNotFoundAndStaysClosed)
{
    port.SetPortNum(7);
    EXPECT_EQ(OpenError(port), "Specified device not found (\\\\.\\COM7).");
    EXPECT_FALSE(port.Active());
    EXPECT_EQ(opens, 0);

    // A '%' in the name is shown as it stands, not taken for a placeholder.
    port.SetDeviceName("COM%d%s");
    EXPECT_EQ(OpenError(port), "Specified device not found (COM7%s).");
}

TEST_F(Port, DeviceHeldByAnotherIsRefusedAndTheHolderKeepsWorking)
{
    ASSERT_EQ(OpenError(port), "");
    TVaComm other;
    Configure(other);
    EXPECT_EQ(OpenError(other),
              "Can't open specified device \\\\.\\COM3 (Error 16, Device or resource busy)");
    EXPECT_FALSE(other.Active());
    EXPECT_TRUE(port.WriteText("ping"));
    EXPECT_EQ(pty.Receive(4), QByteArray("ping"));
}

TEST_F(Port, AnotherHoldersExclusiveFlagIsRespectedAlsoByRootAndLeftAlone)
{
    ASSERT_EQ(ioctl(pty.Slave(), TIOCEXCL), 0);
    EXPECT_EQ(OpenError(port),
              "Can't open specified device \\\\.\\COM3 (Error 16, Device or resource busy)");
    EXPECT_FALSE(port.Active());
    int exclusive = 0;
    ASSERT_EQ(ioctl(pty.Slave(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1) << "the holder keeps its protection";

    ASSERT_EQ(ioctl(pty.Slave(), TIOCNXCL), 0);
    ASSERT_EQ(OpenError(port), "");
    port.Close();
    ASSERT_EQ(ioctl(pty.Slave(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0) << "our own flag goes with us";
}

TEST_F(Port, PseudoTerminalHeldByTheProgramAtItsOtherEndIsNotBusy)
{
    // A plain fork: QProcess starts its child in a way ThreadSanitizer cannot follow, and the
    // sanitizer then loses track of this process's locks for the rest of the run.
    int ready[2];
    ASSERT_EQ(pipe2(ready, O_CLOEXEC), 0);
    const pid_t holder = fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        const int fd = ::open(pty.Path().constData(), O_RDONLY | O_NOCTTY);
        if (fd < 0 || ::write(ready[1], "h", 1) != 1)
            _exit(1);
        pause();
        _exit(0);
    }
    ::close(ready[1]);
    char held = 0;
    ASSERT_EQ(::read(ready[0], &held, 1), 1) << "the holder could not open the device";
    ::close(ready[0]);
    EXPECT_EQ(OpenError(port), "");
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
}

struct FailingStep
{
    const char* what;
    bool regularFile;
    bool updateDcb;
    const char* message;
};

class ConfigurationStep : public Port, public ::testing::WithParamInterface<FailingStep>
{
};

TEST_P(ConfigurationStep, FailureRaisesItsOwnMessageAndClosesTheDevice)
{
    const FailingStep& step = GetParam();
    QTemporaryDir dir;
    const QByteArray file = dir.filePath("plain").toLocal8Bit();
    std::ofstream(file.constData()) << "x";
    com.Link(3, step.regularFile ? file : QByteArray("/dev/null"));
    port.SetUpdateDCB(step.updateDcb);

    EXPECT_EQ(OpenError(port), step.message) << step.what;
    EXPECT_FALSE(port.Active());
    EXPECT_EQ(opens, 0);
    EXPECT_EQ(closes, 0);
    // The descriptor (and its exclusive lock) is gone: the next opener gets as far again.
    TVaComm again;
    Configure(again);
    again.SetUpdateDCB(step.updateDcb);
    EXPECT_EQ(OpenError(again), step.message) << step.what;
}

INSTANTIATE_TEST_SUITE_P(
    NotATerminal, ConfigurationStep,
    ::testing::Values(FailingStep{"null device", false, true,
                                  "Error writing dcb (25), Inappropriate ioctl for device"},
                      FailingStep{"regular file", true, true,
                                  "Error writing dcb (25), Inappropriate ioctl for device"},
                      FailingStep{"no line settings written", false, false,
                                  "Error setting timeouts (25), Inappropriate ioctl for device"}));

TEST_F(Port, OpenOnAnOpenPortRaisesAndThePortStaysUsable)
{
    port.Open();
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(OpenError(port), "Can't perform this operation while port is open");
    EXPECT_TRUE(port.Active());
    EXPECT_EQ(opens, 1);
    EXPECT_TRUE(port.WriteChar('\x07'));
    EXPECT_EQ(pty.Receive(1), QByteArray("\x07"));
}

TEST_F(Port, MainWindowSettingsReachTheLine)
{
    DisturbSpeed();
    port.Open();
    const termios t = pty.Settings();
    EXPECT_EQ(cfgetospeed(&t), speed_t(B9600));
    EXPECT_EQ(t.c_cflag & (CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);

    const CommControlBlock dcb = port.MakeControlBlock();
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, 0);
    EXPECT_EQ(dcb.StopBits, 0);
    EXPECT_EQ(dcb.XonChar, 0x11);
    EXPECT_EQ(dcb.XoffChar, 0x13);
    EXPECT_EQ(dcb.ErrorChar + dcb.EvtChar + dcb.EofChar, 0);
    EXPECT_EQ(dcb.XonLim, 1024);
    EXPECT_EQ(dcb.XoffLim, 1024);
    EXPECT_EQ(dcb.Flags, 0x0001u);
}

TEST_F(Port, SettingsThatNeedANewDeviceRefuseWhileOpen)
{
    port.Open();
    const QString refused = "Can't perform this operation while port is open";
    EXPECT_EQ(ErrorOf([&] { port.SetPortNum(3); }), refused) << "also the same number";
    EXPECT_EQ(ErrorOf([&] { port.SetDeviceName("COM%d"); }), refused);
    EXPECT_EQ(ErrorOf([&] { port.SetMonitorEvents({ceRxChar}); }), refused);
    EXPECT_EQ(ErrorOf([&] { port.SetDirectWrite(false); }), refused);
    EXPECT_EQ(ErrorOf([&] { port.SetUpdateDCB(false); }), refused);
    TVaBuffers buffers;
    buffers.SetReadSize(1);
    EXPECT_EQ(ErrorOf([&] { port.SetBuffers(buffers); }), refused);
    EXPECT_EQ(port.Buffers()->ReadSize(), 4096) << "the property as a whole changes nothing";
    EXPECT_EQ(port.DeviceName(), QByteArray("\\\\.\\COM%d"));
    EXPECT_TRUE(port.DirectWrite());

    EXPECT_EQ(ErrorOf([&] { port.Buffers()->SetReadSize(2048); }), refused);
    EXPECT_EQ(port.Buffers()->ReadSize(), 2048) << "the group keeps the new value";
    EXPECT_TRUE(port.Active());
}

TEST_F(Port, LineSettingsAreRewrittenAtOnceWhileOpen)
{
    port.SetParity(paEven); // closed: only stored
    port.Open();
    DisturbSpeed();
    port.SetParity(paEven);
    EXPECT_EQ(Speed(), speed_t(B4800)) << "the same value rewrites nothing";
    port.SetParity(paOdd);
    EXPECT_EQ(Speed(), speed_t(B9600));

    DisturbSpeed();
    port.EventChars()->SetXonChar(0x11);
    EXPECT_EQ(Speed(), speed_t(B9600)) << "an event character rewrites also when unchanged";

    DisturbSpeed();
    port.FlowControl()->SetXonXoffIn(true);
    EXPECT_EQ(pty.Settings().c_iflag & IXOFF, tcflag_t(IXOFF));
    EXPECT_EQ(Speed(), speed_t(B9600));

    port.SetUserBaudrate(14400);
    quint32 in = 0, out = 0;
    ASSERT_EQ(GetSpeeds(pty.Master(), in, out), 0);
    EXPECT_EQ(out, 14400u);
}

TEST_F(Port, ImpossibleSpeedIsRefusedAndTheLineKeepsItsSettings)
{
    port.Open();
    // UserBaudrate is 0 after br9600: speed 0 would hang the line up.
    EXPECT_EQ(ErrorOf([&] { port.SetBaudrate(brUser); }),
              "Error writing dcb (22), Invalid argument");
    EXPECT_EQ(port.Baudrate(), brUser);
    EXPECT_EQ(ErrorOf([&] { port.SetUserBaudrate(-5); }),
              "Error writing dcb (22), Invalid argument");
    EXPECT_EQ(port.UserBaudrate(), -5) << "the property keeps its new value";
    EXPECT_EQ(Speed(), speed_t(B9600));
    EXPECT_TRUE(port.Active());
}

TEST_F(Port, WithoutUpdateDcbOpenWritesNoLineSettingsButTheLineIsRawAllTheSame)
{
    termios t = pty.Settings();
    cfsetspeed(&t, B4800);
    t.c_lflag |= ICANON | ECHO | ISIG;
    t.c_iflag |= IXON | ICRNL;
    ASSERT_EQ(tcsetattr(pty.Slave(), TCSANOW, &t), 0);
    port.SetUpdateDCB(false);
    port.Open();
    port.SetBaudrate(br19200);
    EXPECT_EQ(Speed(), speed_t(B4800));
    const termios now = pty.Settings();
    EXPECT_TRUE(now.c_iflag & IXON) << "flow control is the device's";
    EXPECT_EQ(now.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(now.c_iflag & ICRNL, 0u);
    EXPECT_TRUE(now.c_iflag & IGNBRK);

    // ETX is the interrupt character of a cooked line: here it arrives as a byte, unechoed.
    pty.Send("\x02Z\x03\r");
    EXPECT_EQ(ReadUntil(4), QByteArray("\x02Z\x03\r"));
    EXPECT_EQ(pty.Receive(1, 50), QByteArray());
}

TEST_F(Port, ClosedPortWritesAndReadsNothingWithoutRaising)
{
    EXPECT_FALSE(port.WriteText("abc"));
    EXPECT_FALSE(port.WriteChar('x'));
    EXPECT_TRUE(port.WriteText(""));
    EXPECT_EQ(port.ReadText(), QByteArray());
    EXPECT_EQ(port.ReadBufUsed(), 0);
    char c;
    EXPECT_EQ(port.ReadBuf(&c, 1), 0);
    EXPECT_FALSE(port.CheckErrors());
    port.Close();
    EXPECT_EQ(closes, 0) << "closing a closed port raises no OnClose";
}

TEST_F(Port, BytesTravelBothWaysUntouched)
{
    port.Open();
    EXPECT_TRUE(port.WriteText(""));
    EXPECT_EQ(port.ReadText(), QByteArray()) << "nothing waiting";

    QByteArray all(256, '\0');
    for (int i = 0; i < 256; ++i)
        all[i] = char(i);
    EXPECT_TRUE(port.WriteText(all));
    EXPECT_EQ(pty.Receive(256), all);

    pty.Send(all);
    EXPECT_EQ(ReadUntil(256), all);
    EXPECT_EQ(pty.Receive(1, 50), QByteArray()) << "no echo";
    EXPECT_FALSE(port.CheckErrors());
}

TEST_F(Port, DirectWriteThatCannotCompleteReturnsZeroInTime)
{
    port.Buffers()->SetReadTimeout(100);
    port.Open();
    // Nobody reads the other end: the line's buffer fills and the write runs out of time.
    const QByteArray big(1 << 20, 'x');
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.WriteBuf(big.constData(), int(big.size())), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_TRUE(port.Active());
}

TEST_F(Port, EventMaskFollowsMonitorEventsAndWriteMode)
{
    struct Case
    {
        TVaCommEvents events;
        bool direct;
        quint32 mask;
    };
    const Case cases[] = {
        {{ceError, ceRxChar, ceTxEmpty}, false, 0x0081},
        {{ceError, ceRxChar}, false, 0x0081},
        {{ceError, ceRxChar}, true, 0x0081},
        {{ceTxEmpty}, false, 0},
        {{ceTxEmpty}, true, 0x0004},
        {{ceBreak, ceCts, ceDsr, ceError, ceRing, ceRlsd, ceRxChar, ceTxEmpty, ceRxFlag, cePErr,
          ceRx80Full, ceEvent1, ceEvent2},
         true,
         0x1FFF},
    };
    for (const Case& c : cases) {
        port.SetMonitorEvents(c.events);
        port.SetDirectWrite(c.direct);
        port.Open();
        EXPECT_EQ(port.EventMask(), c.mask) << c.events.ToBits() << " direct " << c.direct;
        port.Close();
    }
    EXPECT_EQ(TVaComm().MonitorEvents(), (TVaCommEvents{ceError, ceRxChar, ceTxEmpty}));
}

TEST_F(Port, UnpluggedDeviceIsReportedOnceAndLeavesThePortClosed)
{
    port.Open();
    pty.Send("partial");
    EXPECT_EQ(ReadUntil(7), QByteArray("partial"));
    pty.CloseMaster();

    // What the poll timer does every second.
    QStringList errors;
    for (int tick = 0; tick < 50; ++tick) {
        if (!port.Active())
            continue;
        try {
            port.ReadText();
        } catch (const EVaCommError& e) {
            errors << e.Message();
        }
    }
    EXPECT_EQ(errors, QStringList{"Error retrieving statistics (5), Input/output error"});
    EXPECT_FALSE(port.Active());
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(port.WriteText("x")) << "closed now: no further error";

    // The device is back: the same port opens again.
    PtyPair back;
    com.Link(3, back.Path());
    port.Open();
    EXPECT_TRUE(port.WriteText("again"));
    EXPECT_EQ(back.Receive(5), QByteArray("again"));
}

TEST_F(Port, UnplugMetByAWriteOrAReadIsReportedByThatStep)
{
    port.Open();
    pty.CloseMaster();
    EXPECT_EQ(ErrorOf([&] { port.WriteText("x"); }), "Write error (5), Input/output error");
    EXPECT_FALSE(port.Active());

    PtyPair back;
    com.Link(3, back.Path());
    port.Open();
    back.CloseMaster();
    char buffer[4];
    EXPECT_EQ(ErrorOf([&] { port.ReadBuf(buffer, 4); }), "Read error (5), Input/output error");
    EXPECT_FALSE(port.Active());
    EXPECT_EQ(closes, 2);
}

TEST_F(Port, OpenHandlerErrorIsShownAndOpenCompletes)
{
    port.OnOpen = [](QObject*) { throw EVaCommError("handler failed"); };
    EXPECT_NO_THROW(port.Open());
    EXPECT_TRUE(port.Active());
    EXPECT_EQ(reports, QStringList{"handler failed"});
}

TEST_F(Port, CloseHandlerErrorReachesTheCallerWithThePortClosed)
{
    port.Open();
    port.OnClose = [](QObject*) { throw EVaCommError("close handler"); };
    EXPECT_EQ(ErrorOf([&] { port.Close(); }), "close handler");
    EXPECT_FALSE(port.Active());
}

TEST_F(Port, DestroyingAnOpenPortClosesItWithoutOnClose)
{
    int destroyedCloses = 0;
    {
        TVaComm doomed;
        Configure(doomed);
        doomed.OnClose = [&](QObject*) { ++destroyedCloses; };
        doomed.Open();
    }
    EXPECT_EQ(destroyedCloses, 0);
    EXPECT_EQ(OpenError(port), "") << "the device was given up";
}

TEST_F(Port, LoadedOpensOnlyWithAutoOpen)
{
    port.BeginLoading();
    port.Loaded();
    EXPECT_FALSE(port.Active());
    port.SetAutoOpen(true);
    port.SetDesigning(true);
    port.Loaded();
    EXPECT_FALSE(port.Active());
    port.SetDesigning(false);
    port.Loaded();
    EXPECT_TRUE(port.Active());
    EXPECT_FALSE(port.IsLoading());
}

// Reaches the dispatch the event thread hands to the main thread.
class DispatchingComm : public TVaComm
{
public:
    using TVaComm::HandleEvents;
    using TVaComm::HandleRxChar;
};

TEST_F(Port, DispatchRaisesEventsInTheirFixedOrder)
{
    DispatchingComm comm;
    QStringList order;
    const std::pair<const char*, TNotifyEvent*> events[] = {
        {"Break", &comm.OnBreak},   {"Event2", &comm.OnEvent2},     {"TxEmpty", &comm.OnTxEmpty},
        {"Cts", &comm.OnCts},       {"Rx80Full", &comm.OnRx80Full}, {"Ring", &comm.OnRing},
        {"Dsr", &comm.OnDsr},       {"PErr", &comm.OnPErr},         {"Rlsd", &comm.OnRlsd},
        {"RxFlag", &comm.OnRxFlag}, {"Event1", &comm.OnEvent1},
    };
    for (const auto& [name, handler] : events)
        *handler = [&order, name = QString(name)](QObject*) { order << name; };
    comm.HandleEvents(0x1FFF & ~CommEv::RxChar);
    EXPECT_EQ(order, (QStringList{"RxFlag", "Cts", "Dsr", "Ring", "Rlsd", "TxEmpty", "Break",
                                  "PErr", "Rx80Full", "Event1", "Event2"}));

    order.clear();
    comm.HandleEvents(CommEv::Cts | CommEv::Break);
    EXPECT_EQ(order, (QStringList{"Cts", "Break"}));
}

TEST_F(Port, ReceivedBytesAreAnnouncedAndStayForReadText)
{
    DispatchingComm comm;
    Configure(comm);
    int announced = 0;
    comm.OnRxChar = [&](QObject*, int count) { announced = count; };
    comm.Open();
    comm.HandleRxChar();
    EXPECT_EQ(announced, 0) << "nothing waiting: no event";
    pty.Send("12345");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (comm.ReadBufUsed() < 5 && pty.WaitForInput(deadline)) {
    }
    comm.HandleRxChar();
    EXPECT_EQ(announced, 5);
    EXPECT_EQ(comm.ReadText(), QByteArray("12345"));
}

TEST(PortErrorText, SystemTextIsTrimmed)
{
    EXPECT_EQ(SystemErrorText(5), "Input/output error");
    EXPECT_EQ(SystemErrorText(2), "No such file or directory");
    EXPECT_LE(SystemErrorText(123456).size(), 255);
    EXPECT_FALSE(SystemErrorText(123456).endsWith(' '));
}

} // namespace
