// Checks that only a real tty driver can answer. They run inside the lane's virtual machine:
// /dev/ttyS1 and /dev/ttyS2 are 16550 UARTs joined by a relay on the host, /dev/ttyUSB0 an FTDI
// adapter that the host can pull out. Each test suite is one check group of the lane.
#include "app/Form1.h"
#include "printer/LinkState.h"
#include "runtime/Application.h"
#include "runtime/Wait.h"
#include "serial/VaComm.h"
#include "support/Frame.h"
#include "wizard/KWizard.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <linux/serial.h>

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <set>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr char UartPath[] = "/dev/ttyS1";
constexpr char Peer[] = "/dev/ttyS2"; // the simulator's side, when it runs
constexpr char Adapter[] = "/dev/ttyUSB0";

// Processes events until the condition holds or the time is up (the program's clock runs at
// real speed here).
bool WaitFor(const std::function<bool()>& done, int timeoutMs)
{
    // Conditions outside the event loop (a device node, a driver's queue) wake nothing: a timer
    // looks at them regularly.
    QTimer look;
    look.start(5);
    return WaitUntil(Now() + Seconds(timeoutMs / 1000.0), done);
}

// Tells the host driver of the lane to act; it reads the console.
void AskHost(const char* what)
{
    std::printf("@@realtty host %s\n", what);
    std::fflush(stdout);
}

bool CompleteReply(const QByteArray& bytes)
{
    const auto etx = bytes.indexOf('\x03');
    return etx >= 0 && bytes.size() >= etx + 5;
}

// "fd -> what it is", one per open descriptor.
std::set<std::string> OpenDescriptors()
{
    std::set<std::string> open;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        open.insert(entry.path().filename().string() + " -> " +
                    std::filesystem::read_symlink(entry.path(), ignored).string());
    return open;
}

std::string Listed(const std::set<std::string>& items)
{
    std::string text;
    for (const auto& item : items)
        text += item + "\n";
    return text;
}

long CpuMs()
{
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return (use.ru_utime.tv_sec + use.ru_stime.tv_sec) * 1000L +
           (use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1000L;
}

// A port object as the program sets it up, on the given device.
std::unique_ptr<TVaComm> MakePort(const char* device)
{
    auto port = std::make_unique<TVaComm>(nullptr);
    port->SetBaudrate(br9600);
    port->SetDeviceName(device);
    port->SetMonitorEvents({ceError, ceRxChar});
    auto* flow = port->FlowControl();
    flow->SetControlDtr(dtrDisabled);
    flow->SetControlRts(rtsDisabled);
    return port;
}

// Sends a status request and returns the reply (empty when none came).
QByteArray Exchange(TVaComm& port, char seq, int timeoutMs = 30000)
{
    QByteArray reply;
    port.OnRxChar = [&](QObject*, int) { reply += port.ReadText(); };
    const std::string frame = Frame(seq, "\x80");
    port.WriteBuf(frame.data(), static_cast<int>(frame.size()));
    WaitFor([&] { return CompleteReply(reply); }, timeoutMs);
    port.OnRxChar = nullptr;
    return reply;
}

termios Settings(int fd)
{
    termios t{};
    EXPECT_EQ(tcgetattr(fd, &t), 0);
    return t;
}

int ModemBits(int fd)
{
    int bits = 0;
    EXPECT_EQ(ioctl(fd, TIOCMGET, &bits), 0) << "TIOCMGET on a real UART";
    return bits;
}

// Every message the program's error path shows, and every OnError.
class Reports
{
public:
    Reports()
    {
        Application().SetMessageHook([this](const QString& text) { messages.append(text); });
    }
    ~Reports() { Application().SetMessageHook({}); }
    QStringList messages;
};

} // namespace

// --- line settings ---------------------------------------------------------------------------

TEST(LineSettings, EveryFramingAndFlowSettingReadsBackExactly)
{
    struct Bits
    {
        TVaDatabits setting;
        tcflag_t size;
    };
    const Bits sizes[] = {{db5, CS5}, {db6, CS6}, {db7, CS7}, {db8, CS8}};
    struct Parity
    {
        TVaParity setting;
        tcflag_t flags;
    };
    const Parity parities[] = {{paNone, 0},
                               {paOdd, PARENB | PARODD},
                               {paEven, PARENB},
                               {paMark, PARENB | CMSPAR | PARODD},
                               {paSpace, PARENB | CMSPAR}};
    const tcflag_t framing = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;
    for (const auto& size : sizes)
        for (const auto& parity : parities)
            for (TVaStopbits stop : {sb1, sb2}) {
                auto port = MakePort(UartPath);
                port->SetDatabits(size.setting);
                port->SetParity(parity.setting);
                port->SetStopbits(stop);
                port->Open();
                const termios t = Settings(port->Handle());
                const tcflag_t expected = size.size | parity.flags | (stop == sb2 ? CSTOPB : 0);
                EXPECT_EQ(t.c_cflag & framing, expected)
                    << "data bits " << size.setting << " parity " << parity.setting << " stop "
                    << stop;
                EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
                EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u) << "raw";
            }

    // Flow control, at open and when changed while open.
    auto port = MakePort(UartPath);
    port->Open();
    struct Flow
    {
        bool cts, xonOut, xonIn;
    };
    for (const Flow& f :
         {Flow{true, false, false}, Flow{false, true, false}, Flow{false, false, true},
          Flow{true, true, true}, Flow{false, false, false}}) {
        auto* flow = port->FlowControl();
        flow->SetOutCtsFlow(f.cts);
        flow->SetXonXoffOut(f.xonOut);
        flow->SetXonXoffIn(f.xonIn);
        const termios t = Settings(port->Handle());
        EXPECT_EQ((t.c_cflag & CRTSCTS) != 0, f.cts) << "CTS flow " << f.cts;
        EXPECT_EQ((t.c_iflag & IXON) != 0, f.xonOut) << "XON/XOFF out " << f.xonOut;
        EXPECT_EQ((t.c_iflag & IXOFF) != 0, f.xonIn) << "XON/XOFF in " << f.xonIn;
    }
    port->SetParity(paEven);
    EXPECT_EQ(Settings(port->Handle()).c_cflag & (PARENB | PARODD), tcflag_t(PARENB));
    port->SetBaudrate(br115200);
    const termios fast = Settings(port->Handle());
    EXPECT_EQ(cfgetospeed(&fast), static_cast<speed_t>(B115200));
}

// --- modem lines -----------------------------------------------------------------------------

TEST(ModemLines, DtrAndRtsFollowTheirSettingAtOpenAndWhenChanged)
{
    for (TVaControlDtr dtr : {dtrDisabled, dtrEnabled})
        for (TVaControlRts rts : {rtsDisabled, rtsEnabled}) {
            auto port = MakePort(UartPath);
            port->FlowControl()->SetControlDtr(dtr);
            port->FlowControl()->SetControlRts(rts);
            port->Open();
            int bits = ModemBits(port->Handle());
            EXPECT_EQ((bits & TIOCM_DTR) != 0, dtr == dtrEnabled) << "at open, dtr " << dtr;
            EXPECT_EQ((bits & TIOCM_RTS) != 0, rts == rtsEnabled) << "at open, rts " << rts;

            // Changed while open: each line flips on its own.
            const auto otherDtr = dtr == dtrEnabled ? dtrDisabled : dtrEnabled;
            const auto otherRts = rts == rtsEnabled ? rtsDisabled : rtsEnabled;
            port->FlowControl()->SetControlDtr(otherDtr);
            bits = ModemBits(port->Handle());
            EXPECT_EQ((bits & TIOCM_DTR) != 0, otherDtr == dtrEnabled) << "changed dtr";
            EXPECT_EQ((bits & TIOCM_RTS) != 0, rts == rtsEnabled) << "rts kept";
            port->FlowControl()->SetControlRts(otherRts);
            bits = ModemBits(port->Handle());
            EXPECT_EQ((bits & TIOCM_RTS) != 0, otherRts == rtsEnabled) << "changed rts";
        }
}

// --- error counters and the exchange ----------------------------------------------------------

TEST(ErrorCounters, ACleanExchangeRaisesNoErrorAndTheCountersRead)
{
    Reports reports;
    auto port = MakePort(UartPath);
    int errors = 0;
    port->OnError = [&](QObject*, int) { ++errors; };
    port->Open();
    for (char seq : {'D', 'E', 'F'})
        EXPECT_TRUE(CompleteReply(Exchange(*port, seq)));
    TVaCommStatus status{};
    EXPECT_NO_THROW(port->GetCommStatus(status));
    EXPECT_EQ(status.Errors, 0u);
    bool found = true;
    EXPECT_NO_THROW(found = port->CheckErrors());
    EXPECT_FALSE(found);
    EXPECT_EQ(errors, 0);
    EXPECT_TRUE(reports.messages.isEmpty()) << reports.messages.join(u'\n').toStdString();

    serial_icounter_struct counts{};
    ASSERT_EQ(ioctl(port->Handle(), TIOCGICOUNT, &counts), 0) << "TIOCGICOUNT on a real UART";
    EXPECT_GE(counts.tx, 3 * 8);
    EXPECT_GE(counts.rx, 3 * 30);
}

TEST(Exchange, StatusReplyCarriesTheSerialAtCharacters16To25)
{
    auto port = MakePort(UartPath);
    port->Open();
    const QByteArray reply = Exchange(*port, 'D');
    ASSERT_TRUE(CompleteReply(reply)) << reply.toStdString();
    EXPECT_EQ(reply.at(1), 'D');
    EXPECT_EQ(reply.mid(15, 10), QByteArray("RTTY012345"));
}

// --- the program's search ----------------------------------------------------------------------

TEST(Search, TheProgramFindsTheSimulatedPrinterOverARealDriver)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QFile::link(QString::fromLatin1(UartPath), dir.filePath(QStringLiteral("com2"))));
    qputenv("ORVALEN_COM_DIR", dir.path().toLocal8Bit());
    Reports reports;
    TForm1 form;
    SetImpresorEncontrado(false);
    form.wizard->SetActivePage(form.pgPuerto);
    form.Timer1->SetEnabled(false);
    form.show();
    form.Timer1Timer(form.Timer1);
    EXPECT_EQ(form.lbport->text(), QStringLiteral("COM2"));
    EXPECT_EQ(form.lbserial->text(), QStringLiteral("RTTY012345"));
    EXPECT_TRUE(ImpresorEncontrado());
    EXPECT_TRUE(reports.messages.isEmpty()) << reports.messages.join(u'\n').toStdString();
    form.close();
    qunsetenv("ORVALEN_COM_DIR");
}

// Types into the real program through Qt's VNC platform: the program's own window, its own
// event loop, keys as a user presses them. RFB 3.3 to 3.8 without authentication.
class VncKeyboard
{
public:
    explicit VncKeyboard(int port)
    {
        QElapsedTimer waited;
        waited.start();
        while (fd_ < 0 && waited.elapsed() < 60000) {
            const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(static_cast<uint16_t>(port));
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
                fd_ = fd;
            else // the program's VNC server is not listening yet: try again shortly
                ::close(fd), usleep(200000);
        }
        if (fd_ >= 0 && !Handshake()) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~VncKeyboard()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool Connected() const { return fd_ >= 0; }

    // Alt plus a letter, as the mnemonic of a button caption.
    void AltKey(char letter)
    {
        constexpr uint32_t AltKeysym = 0xFFE9;
        Key(AltKeysym, true);
        Key(static_cast<unsigned char>(letter), true);
        Key(static_cast<unsigned char>(letter), false);
        Key(AltKeysym, false);
    }

private:
    bool Read(void* into, size_t size)
    {
        auto* bytes = static_cast<char*>(into);
        while (size > 0) {
            const ssize_t n = ::read(fd_, bytes, size);
            if (n <= 0)
                return false;
            bytes += n;
            size -= static_cast<size_t>(n);
        }
        return true;
    }
    bool Write(const void* bytes, size_t size)
    {
        return ::write(fd_, bytes, size) == ssize_t(size);
    }

    bool Handshake()
    {
        char version[12];
        if (!Read(version, sizeof version) || !Write(version, sizeof version))
            return false;
        if (std::string_view(version, 11) == "RFB 003.003") {
            uint32_t security = 0;
            if (!Read(&security, 4) || ntohl(security) != 1)
                return false;
        } else {
            uint8_t count = 0;
            std::string types(1, '\0');
            if (!Read(&count, 1) || count == 0)
                return false;
            types.resize(count);
            if (!Read(types.data(), count) || types.find('\1') == std::string::npos)
                return false;
            const char none = 1;
            uint32_t result = 0;
            if (!Write(&none, 1) || (version[10] == '8' && (!Read(&result, 4) || result != 0)))
                return false;
        }
        const char shared = 1;
        char init[24];
        uint32_t nameLength = 0;
        if (!Write(&shared, 1) || !Read(init, sizeof init))
            return false;
        std::memcpy(&nameLength, init + 20, 4);
        std::string name(ntohl(nameLength), '\0');
        return Read(name.data(), name.size());
    }

    void Key(uint32_t keysym, bool down)
    {
        unsigned char event[8] = {4, static_cast<unsigned char>(down ? 1 : 0), 0, 0};
        const uint32_t key = htonl(keysym);
        std::memcpy(event + 4, &key, 4);
        Write(event, sizeof event);
    }

    int fd_ = -1;
};

// What the simulator has logged since the check began.
class SimulatorLog
{
public:
    SimulatorLog() : path_(qgetenv("REALTTY_SIM_LOG")), start_(QFile(path_).size()) {}
    QByteArray Since() const
    {
        QFile file(path_);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        file.seek(start_);
        return file.readAll();
    }

private:
    QString path_;
    qint64 start_;
};

TEST(Search, TheProgramItselfFindsThePrinterAndSendsTheReportToIt)
{
    const QString program = qEnvironmentVariable("REALTTY_ORVALEN");
    ASSERT_TRUE(QFile::exists(program)) << "REALTTY_ORVALEN names the program";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QFile::link(QString::fromLatin1(UartPath), dir.filePath(QStringLiteral("com2"))));
    const SimulatorLog printer;

    QProcess orvalen;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ORVALEN_COM_DIR"), dir.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("vnc:size=800x600:port=5907"));
    orvalen.setProcessEnvironment(env);
    orvalen.setProcessChannelMode(QProcess::ForwardedChannels);
    orvalen.start(program, {});
    ASSERT_TRUE(orvalen.waitForStarted(10000));
    VncKeyboard keyboard(5907);
    ASSERT_TRUE(keyboard.Connected()) << "no VNC connection to the program";

    // Siguiente until the search's status request reaches the printer (the first presses may
    // come before the window is up), then until the Z report follows: the program sends it only
    // to a printer its search found.
    const auto pressUntil = [&](const QByteArray& seen, int timeoutMs) {
        QElapsedTimer waited;
        waited.start();
        while (!printer.Since().contains(seen) && waited.elapsed() < timeoutMs) {
            keyboard.AltKey('s');
            WaitFor([&] { return printer.Since().contains(seen); }, 3000);
        }
        return printer.Since().contains(seen);
    };
    EXPECT_TRUE(pressUntil("<STX>", 120000))
        << "no status request came: " << printer.Since().toStdString();
    EXPECT_TRUE(pressUntil("9<FS>Z<FS>T<ETX>", 120000))
        << "no Z report after the search: " << printer.Since().toStdString();
    orvalen.terminate();
    EXPECT_TRUE(orvalen.waitForFinished(10000));
}

// --- exclusive open ----------------------------------------------------------------------------

TEST(ExclusiveOpen, ASecondOpenIsBusyAndTheFirstKeepsWorking)
{
    auto first = MakePort(UartPath);
    first->Open();
    auto second = MakePort(UartPath);
    QString message;
    try {
        second->Open();
    } catch (const EVaCommError& e) {
        message = e.Message();
    }
    EXPECT_TRUE(message.contains(QStringLiteral("(Error 16, Device or resource busy)")))
        << message.toStdString();
    EXPECT_FALSE(second->Active());
    second.reset();
    const QByteArray reply = Exchange(*first, 'G');
    EXPECT_TRUE(CompleteReply(reply)) << "the first port after the refused second open";
    EXPECT_EQ(reply.mid(15, 10), QByteArray("RTTY012345"));
}

TEST(ExclusiveOpen, ADeviceAnotherProgramHoldsIsBusyEvenForRoot)
{
    // The simulator serves the far UART with its exclusive flag set; root could open it anyway.
    ASSERT_EQ(geteuid(), 0u);
    auto port = MakePort(Peer);
    QString message;
    try {
        port->Open();
    } catch (const EVaCommError& e) {
        message = e.Message();
    }
    EXPECT_TRUE(message.contains(QStringLiteral("(Error 16, Device or resource busy)")))
        << message.toStdString();
    EXPECT_FALSE(port->Active());
    port.reset();
    int exclusive = 0;
    const int fd = open(Peer, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(ioctl(fd, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1) << "the refused open cleared the holder's exclusive flag";
    close(fd);
}

// --- close with unsent output ------------------------------------------------------------------

// The far UART, raw and emptied, for the groups that run without the simulator; -1 on failure.
int OpenRawPeer()
{
    const int peer = open(Peer, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (peer < 0)
        return peer;
    termios raw = Settings(peer);
    cfmakeraw(&raw);
    raw.c_cflag |= CLOCAL;
    tcsetattr(peer, TCSANOW, &raw);
    tcflush(peer, TCIOFLUSH);
    return peer;
}

TEST(CloseWithUnsentOutput, ReturnsAtOnce)
{
    const int peer = OpenRawPeer();
    ASSERT_GE(peer, 0);

    auto port = MakePort(UartPath);
    port->FlowControl()->SetXonXoffOut(true);
    port->Open();
    ASSERT_EQ(write(peer, "\x13", 1), 1); // XOFF: the port must stop sending
    // The XOFF has arrived once a byte written after it stays in the output queue.
    int queued = 0;
    const std::string chunk(256, 'x');
    ASSERT_TRUE(WaitFor(
        [&] {
            port->WriteBuf(chunk.data(), static_cast<int>(chunk.size()));
            // Paces the writes: the check is whether output stays queued, not how much.
            usleep(50000);
            return ioctl(port->Handle(), TIOCOUTQ, &queued) == 0 && queued > 0;
        },
        30000))
        << "the output never stalled behind the XOFF";

    QElapsedTimer closing;
    closing.start();
    port->Close();
    EXPECT_LT(closing.elapsed(), 10000) << "Close waited for the driver to drain";
    close(peer);
}

// --- transmit-empty of queued writes ------------------------------------------------------------

TEST(QueuedTxEmpty, ClosingInOnTxEmptyLosesNoByte)
{
    const int peer = OpenRawPeer();
    ASSERT_GE(peer, 0);
    auto port = MakePort(UartPath);
    port->SetDirectWrite(false);
    port->Buffers()->SetWriteSize(4096);
    // QEMU sends as fast as the guest hands it bytes, not at 9600 baud: an XOFF from the far
    // end keeps them in the driver as a slow line would, until the XON.
    port->FlowControl()->SetXonXoffOut(true);
    port->OnTxEmpty = [&](QObject*) { port->Close(); };
    port->Open();
    const auto received = [&] {
        serial_icounter_struct counts{};
        return ioctl(port->Handle(), TIOCGICOUNT, &counts) == 0 ? counts.rx : -1;
    };
    const int before = received();
    ASSERT_EQ(write(peer, "\x13", 1), 1);
    ASSERT_TRUE(WaitFor([&] { return received() > before; }, 30000)) << "the XOFF never came";

    ASSERT_TRUE(port->WriteText(QByteArray(3072, 'q')));
    int queued = 0;
    ASSERT_TRUE(WaitFor(
        [&] {
            return !port->Active() || (ioctl(port->Handle(), TIOCOUTQ, &queued) == 0 && queued > 0);
        },
        30000));
    ASSERT_EQ(write(peer, "\x11", 1), 1);
    QByteArray arrived;
    WaitFor(
        [&] {
            char bytes[4096];
            for (ssize_t n; (n = read(peer, bytes, sizeof bytes)) > 0;)
                arrived.append(bytes, n);
            return arrived.size() >= 3072 && !port->Active();
        },
        30000);
    EXPECT_FALSE(port->Active()) << "no OnTxEmpty";
    EXPECT_EQ(arrived.size(), 3072) << "bytes lost by the Close in OnTxEmpty";
    close(peer);
}

// --- unplug ------------------------------------------------------------------------------------

TEST(Unplug, PullingTheAdapterOutDuringAnExchangeIsOneErrorAndNoSpin)
{
    ASSERT_TRUE(WaitFor([] { return std::filesystem::exists(Adapter); }, 120000));
    Reports reports;
    int errors = 0;
    int closes = 0;
    auto port = MakePort(Adapter);
    // Whatever the first open creates for good (the runtime's own descriptors) is not a leak.
    port->Open();
    port->Close();
    const auto descriptorsBefore = OpenDescriptors();
    port->OnError = [&](QObject*, int) { ++errors; };
    port->OnClose = [&](QObject*) { ++closes; };
    port->Open();
    const std::string frame = Frame('H', "\x80");
    port->WriteBuf(frame.data(), static_cast<int>(frame.size()));
    // The program's poll tick reads what came, through the error path of a handler.
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (port->Active())
            Application().Guard([&] { port->ReadText(); });
    });
    tick.start(50);

    AskHost("unplug");
    EXPECT_TRUE(WaitFor([&] { return !port->Active(); }, 120000)) << "the port stayed open";
    EXPECT_TRUE(WaitFor([] { return !std::filesystem::exists(Adapter); }, 120000));
    // Anything that would repeat per poll tick shows up within a second (a check that something
    // does not happen).
    WaitFor([] { return false; }, 1000);
    EXPECT_EQ(reports.messages.size() + errors, 1)
        << errors << " OnError, messages: " << reports.messages.join(u'\n').toStdString();
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(Listed(OpenDescriptors()), Listed(descriptorsBefore)) << "descriptors leaked";

    // The window of the measurement itself: this thread sleeps, a port thread left spinning
    // would use about 10 s of processor time.
    const long cpuBefore = CpuMs();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    EXPECT_LT(CpuMs() - cpuBefore, 300) << "processor time over 10 s after the unplug";
    bool answered = false;
    QMetaObject::invokeMethod(
        qApp, [&] { answered = true; }, Qt::QueuedConnection);
    EXPECT_TRUE(WaitFor([&] { return answered; }, 10000)) << "the event loop does not answer";
    tick.stop();
    EXPECT_EQ(reports.messages.size() + errors, 1) << "errors reported after the first";

    AskHost("replug");
    ASSERT_TRUE(WaitFor([] { return std::filesystem::exists(Adapter); }, 120000));
    // udev is absent: the node appears when the driver binds; a short retry covers the gap.
    QString failure;
    const bool reopened = WaitFor(
        [&] {
            try {
                port->Open();
                return true;
            } catch (const EVaCommError& e) {
                failure = e.Message();
                return false;
            }
        },
        30000);
    EXPECT_TRUE(reopened) << failure.toStdString();
    EXPECT_TRUE(port->Active());
    port->Close();
}

// --- orvalenctl's port survey ------------------------------------------------------------------

// `orvalenctl ports` on the kernel's own drivers: the two UARTs (the far one held by the
// simulator), a ttyS node without hardware (the guest has three UARTs, the kernel makes more
// nodes) and the FTDI adapter, all from sysfs and /proc, nothing opened.
TEST(Ports, OrvalenctlDescribesTheUartsAndTheAdapter)
{
    const QString program = qEnvironmentVariable("REALTTY_ORVALENCTL");
    ASSERT_TRUE(QFile::exists(program)) << "REALTTY_ORVALENCTL names the program";
    QProcess ctl;
    ctl.start(program, {QStringLiteral("ports"), QStringLiteral("--json")});
    ASSERT_TRUE(ctl.waitForFinished(30000));
    const QByteArray errors = ctl.readAllStandardError();
    ASSERT_EQ(ctl.exitCode(), 0) << errors.toStdString();
    const QJsonArray ports = QJsonDocument::fromJson(ctl.readAllStandardOutput()).array();
    ASSERT_EQ(ports.size(), 20) << errors.toStdString();
    const auto com = [&ports](int n) { return ports[n - 1].toObject(); };

    for (int n : {2, 3}) {
        EXPECT_EQ(com(n)["kind"].toString(), "uart") << "COM" << n;
        EXPECT_EQ(com(n)["uart"].toString(), "16550A") << "COM" << n;
        // 8250_pnp ("serial") or the platform's serial8250, after how the firmware lists it.
        EXPECT_FALSE(com(n)["driver"].toString().isEmpty()) << "COM" << n;
    }
    EXPECT_EQ(com(2)["access"].toString(), "ok");
    EXPECT_EQ(com(3)["access"].toString(), "busy");
    EXPECT_EQ(com(3)["holders"].toArray()[0].toObject()["program"].toString(),
              "orvalen-printer-sim");
    EXPECT_EQ(com(4)["kind"].toString(), QFile::exists("/dev/ttyS3") ? "no-uart" : "missing");

    EXPECT_EQ(com(5)["device"].toString(), Adapter);
    EXPECT_EQ(com(5)["kind"].toString(), "usb");
    EXPECT_EQ(com(5)["driver"].toString(), "ftdi_sio");
    EXPECT_EQ(com(5)["usb_id"].toString(), "0403:6001");
    EXPECT_FALSE(com(5)["product"].toString().isEmpty());
    EXPECT_EQ(com(6)["kind"].toString(), "missing");
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
