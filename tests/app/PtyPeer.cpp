#include "PtyPeer.h"

#include "runtime/TimeBase.h"

#include <QFile>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <stdexcept>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

PtyPeer::PtyPeer(const QString& linkPath) : link_(linkPath)
{
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    for (int fd : {master_, slave_}) {
        termios tio{};
        tcgetattr(fd, &tio);
        cfmakeraw(&tio);
        tcsetattr(fd, TCSANOW, &tio);
    }
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    QFile::remove(link_);
    if (!QFile::link(QString::fromLocal8Bit(name), link_))
        throw std::runtime_error("cannot link the pty");
    notifier_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, this,
                     [this] { ReadAvailable(); });
}

PtyPeer::~PtyPeer()
{
    Vanish();
    if (slave_ >= 0)
        ::close(slave_);
}

void PtyPeer::Write(const QByteArray& bytes)
{
    if (master_ < 0)
        return;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.constData() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += n;
    }
}

void PtyPeer::WriteAfter(double programSecs, const QByteArray& bytes)
{
    QTimer::singleShot(TimeBase::RealMs(programSecs * 1000), this, [this, bytes] { Write(bytes); });
}

bool PtyPeer::HoldExclusively()
{
    return flock(slave_, LOCK_EX | LOCK_NB) == 0;
}

void PtyPeer::Vanish()
{
    notifier_.reset();
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
    QFile::remove(link_);
}

void PtyPeer::ReadAvailable()
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0)
            break;
        received_.append(buffer, n);
    }
    ParseFrames();
}

void PtyPeer::ParseFrames()
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
