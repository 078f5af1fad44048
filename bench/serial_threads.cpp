// Figures of the serial port's background threads, on a pseudo-terminal:
//  1. latency from a byte's arrival to OnRxChar on the UI thread (median and 99th percentile
//     over 1000 bytes; target: p99 under 1 ms);
//  2. processor share while received bytes sit unread for 3 s in the main window's
//     configuration (DirectWrite, ceError and ceRxChar, no OnRxChar; target: about 0 %);
//  3. processor share of the whole process while it streams queued writes (DirectWrite false)
//     of 1024 bytes for 10 s to a reader that takes 11,520 bytes a second, as a 115200-baud
//     line would (target: at most 1 % of one core). The reader runs in a child process, so
//     that only the port's work is counted.

#include "ProcessUsage.h"
#include "runtime/DateTime.h"
#include "runtime/Wait.h"
#include "serial/VaComm.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

void RunLoopFor(double seconds)
{
    WaitUntil(Now() + Seconds(seconds));
}

struct Pty
{
    int master = -1;
    int slave = -1;
    char name[256] = {};
    bool Open()
    {
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return false;
        termios tio{};
        tcgetattr(slave, &tio);
        cfmakeraw(&tio);
        tcsetattr(slave, TCSANOW, &tio);
        return true;
    }
    ~Pty()
    {
        if (master >= 0)
            close(master);
        if (slave >= 0)
            close(slave);
    }
};

void Configure(TVaComm& port)
{
    port.SetDeviceName("\\\\.\\COM%d");
    port.SetPortNum(3);
    port.SetBaudrate(br9600);
    port.SetMonitorEvents({ceError, ceRxChar});
}

void Latency(const Pty& pty)
{
    TVaComm port;
    Configure(port);
    port.SetDirectWrite(true);
    std::atomic<int> seen{0};
    std::atomic<Clock::rep> arrivedAt{0};
    port.OnRxChar = [&](QObject*, int) {
        arrivedAt = Clock::now().time_since_epoch().count();
        port.ReadText();
        seen.fetch_add(1);
    };
    port.Open();

    constexpr int kBytes = 1000;
    std::vector<double> latencies;
    std::thread sender([&] {
        for (int i = 0; i < kBytes; ++i) {
            const int before = seen.load();
            const Clock::time_point sent = Clock::now();
            const char b = char(i);
            if (write(pty.master, &b, 1) != 1)
                break;
            while (seen.load() == before && Clock::now() - sent < std::chrono::seconds(1))
                std::this_thread::sleep_for(std::chrono::microseconds(20));
            latencies.push_back(Ms(Clock::time_point(Clock::duration(arrivedAt.load())) - sent));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    // The UI thread only serves hand-overs; a slow tick ends the loop once the sender is done.
    std::atomic<bool> done{false};
    std::thread watcher([&] {
        sender.join();
        done = true;
    });
    QTimer look;
    look.start(50);
    WaitUntil(Now() + Seconds(60), [&] { return done.load(); });
    watcher.join();
    std::sort(latencies.begin(), latencies.end());
    if (latencies.empty())
        return;
    std::printf("rx latency to OnRxChar over %zu bytes: median %.3f ms, p99 %.3f ms, max %.3f ms"
                " (target p99 < 1 ms)\n",
                latencies.size(), latencies[latencies.size() / 2],
                latencies[latencies.size() * 99 / 100], latencies.back());
}

void IdleWithUnreadBytes(const Pty& pty)
{
    TVaComm port;
    Configure(port);
    port.SetDirectWrite(true);
    port.Open();
    if (write(pty.master, "unread", 6) != 6)
        return;
    RunLoopFor(0.1);
    const double cpu0 = CpuSeconds();
    const Clock::time_point t0 = Clock::now();
    RunLoopFor(3.0);
    const double cpu = CpuSeconds() - cpu0;
    const double wall = Ms(Clock::now() - t0) / 1000;
    std::printf("6 bytes unread for %.1f s (main window's setup): %.3f s processor, %.2f %% of "
                "one core (target about 0 %%); ReadText then gives %lld bytes\n",
                wall, cpu, 100 * cpu / wall, (long long)port.ReadText().size());
}

// In a child process: reads the master end at `bytesPerSecond` for `seconds`, then ends. The
// buffer comes from the parent: nothing is allocated after the fork.
[[noreturn]] void PacedReader(int master, int bytesPerSecond, double seconds,
                              std::vector<char>& buffer)
{
    const Clock::time_point t0 = Clock::now();
    qint64 got = 0;
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const double elapsed = Ms(Clock::now() - t0) / 1000;
        if (elapsed >= seconds)
            _exit(0);
        const qint64 allowed =
            std::min<qint64>(qint64(elapsed * bytesPerSecond) - got, qint64(buffer.size()));
        pollfd p{master, POLLIN, 0};
        if (allowed > 0 && poll(&p, 1, 0) > 0) {
            const ssize_t n = read(master, buffer.data(), size_t(allowed));
            if (n > 0)
                got += n;
        }
    }
}

void QueuedStreamShare(const Pty& pty)
{
    constexpr int BytesPerSecond = 11520;
    constexpr double Seconds = 10;
    constexpr int Block = 1024;
    TVaComm port;
    Configure(port);
    port.SetBaudrate(br115200);
    port.SetDirectWrite(false);
    port.Buffers()->SetWriteTimeout(5000);
    int txEmpty = 0;
    port.OnTxEmpty = [&](QObject*) { ++txEmpty; };
    port.Open();

    std::vector<char> buffer(4096);
    const pid_t reader = fork();
    if (reader < 0)
        return;
    if (reader == 0)
        PacedReader(pty.master, BytesPerSecond, Seconds, buffer);
    const std::vector<char> block(Block, 's');
    const double cpu0 = CpuSeconds();
    const Clock::time_point t0 = Clock::now();
    qint64 queued = 0;
    bool full = false;
    while (Ms(Clock::now() - t0) < Seconds * 1000) {
        try {
            port.WriteBuf(block.data(), Block);
            queued += Block;
        } catch (const EVaCommError&) {
            full = true;
            break;
        }
        QCoreApplication::processEvents();
    }
    const double cpu = CpuSeconds() - cpu0;
    const double wall = Ms(Clock::now() - t0) / 1000;
    waitpid(reader, nullptr, 0);
    port.Close();
    std::printf("queued writes of %d bytes for %.1f s to a reader of %d bytes/s: %.3f s "
                "processor, %.2f %% of one core (target at most 1 %%); %lld bytes queued, "
                "%d transmit-empty events%s\n",
                Block, wall, BytesPerSecond, cpu, 100 * cpu / wall, (long long)queued, txEmpty,
                full ? ", stopped by a full queue" : "");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    Pty pty;
    if (!dir.isValid() || !pty.Open()) {
        std::fprintf(stderr, "serial_threads: cannot make a pseudo-terminal\n");
        return 1;
    }
    QFile::link(QString::fromLocal8Bit(pty.name), dir.path() + QStringLiteral("/com3"));
    qputenv("ORVALEN_COM_DIR", dir.path().toLocal8Bit());

    Latency(pty);
    IdleWithUnreadBytes(pty);

    // Leftovers of the earlier runs would be read as streamed bytes.
    tcflush(pty.master, TCIOFLUSH);
    QueuedStreamShare(pty);
    return 0;
}
