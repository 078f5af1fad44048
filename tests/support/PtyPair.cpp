#include "support/PtyPair.h"

#include "runtime/TimeBase.h"

#include <QFile>
#include <QTimer>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/file.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return int(std::max<long long>(0, left));
}

void MakeRaw(int fd)
{
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
}

} // namespace

PtyPair::PtyPair()
{
    // Opened close-on-exec from the start: a simulator or helper started meanwhile by another
    // thread must not hold either end (it would keep the line from hanging up).
    master_.Reset(posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!master_.IsOpen())
        return;
    const char* name = nullptr;
    if (grantpt(Master()) != 0 || unlockpt(Master()) != 0 || !(name = ptsname(Master()))) {
        master_.Reset();
        return;
    }
    path_ = name;
    slave_.Reset(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!slave_.IsOpen())
        master_.Reset();
}

PtyPair::PtyPair(const QString& linkPath) : PtyPair()
{
    // Thrown from a fixture's SetUp, the failure ends that test alone.
    if (!IsOpen())
        throw std::runtime_error("cannot open a pseudo-terminal");
    MakeRaw(Master());
    MakeRaw(Slave());
    link_ = linkPath;
    QFile::remove(link_);
    if (!QFile::link(QString::fromLocal8Bit(path_), link_))
        throw std::runtime_error("cannot link the pseudo-terminal");
    notifier_ = std::make_unique<QSocketNotifier>(Master(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, this,
                     [this] { ReadAvailable(); });
}

PtyPair::~PtyPair()
{
    CloseMaster();
}

bool PtyPair::Send(const QByteArray& bytes) const
{
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(Master(), bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            // The slave's input queue is full: wait for its reader to make room.
            pollfd p{Master(), POLLOUT, 0};
            if (poll(&p, 1, MsLeft(deadline)) > 0)
                continue;
        }
        return false;
    }
    return true;
}

void PtyPair::SendAfter(double programSecs, const QByteArray& bytes)
{
    QTimer::singleShot(TimeBase::RealMs(programSecs * 1000), this, [this, bytes] { Send(bytes); });
}

QByteArray PtyPair::Receive(int count, int timeoutMs) const
{
    QByteArray out;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    char buffer[4096];
    while (out.size() < count) {
        const ssize_t n = ::read(Master(), buffer, sizeof buffer);
        if (n > 0) {
            out.append(buffer, n);
            continue;
        }
        const int left = MsLeft(deadline);
        if (left <= 0)
            break;
        pollfd p{Master(), POLLIN, 0};
        poll(&p, 1, left);
    }
    return out;
}

bool PtyPair::WaitForInput(Clock::time_point deadline) const
{
    // The slave's input queue is the same for every open of it: our own descriptor sees it.
    pollfd p{Slave(), POLLIN, 0};
    return poll(&p, 1, MsLeft(deadline)) > 0;
}

termios PtyPair::Settings() const
{
    termios t{};
    tcgetattr(Master(), &t);
    return t;
}

bool PtyPair::HoldExclusively()
{
    return flock(Slave(), LOCK_EX | LOCK_NB) == 0;
}

void PtyPair::CloseMaster()
{
    notifier_.reset();
    master_.Reset();
    if (!link_.isEmpty())
        QFile::remove(link_);
}

void PtyPair::ReadAvailable()
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(Master(), buffer, sizeof buffer);
        if (n <= 0)
            break;
        received_.append(buffer, n);
    }
    ParseFrames();
}

void PtyPair::ParseFrames()
{
    // STX, sequence byte, payload, ETX, four check digits (our payloads stay below 0x10000).
    for (;;) {
        const qsizetype stx = received_.indexOf('\x02', parsed_);
        if (stx < 0)
            return;
        const qsizetype etx = received_.indexOf('\x03', stx + 2);
        if (etx < 0 || received_.size() < etx + 5)
            return;
        const QByteArray payload = received_.mid(stx + 2, etx - stx - 2);
        parsed_ = etx + 5;
        payloads_.append(payload);
        if (OnFrame)
            OnFrame(payload);
    }
}
