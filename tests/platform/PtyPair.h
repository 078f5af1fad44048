#pragma once

// Pseudo-terminal pairs and a folder of COMn links for tests that need a serial device.
#include <QByteArray>
#include <QTemporaryDir>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

// The master end plays the printer; the device under test opens the slave by its path. The test
// keeps its own slave descriptor open so the master does not see a hang-up between opens.
class PtyPair
{
public:
    PtyPair()
    {
        if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) == 0) {
            path_ = ttyname(slave_);
            fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
        }
    }
    ~PtyPair()
    {
        CloseMaster();
        if (slave_ >= 0)
            close(slave_);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool IsOpen() const { return master_ >= 0; }
    const QByteArray& Path() const { return path_; }
    int Master() const { return master_; }
    int Slave() const { return slave_; }

    // Unplugs the device: the slave side hangs up.
    void CloseMaster()
    {
        if (master_ >= 0)
            close(master_);
        master_ = -1;
    }

    void Send(const QByteArray& bytes) const
    {
        if (::write(master_, bytes.constData(), size_t(bytes.size())) != bytes.size())
            std::abort();
    }

    // What the device under test wrote: waits up to timeoutMs for `count` bytes.
    QByteArray Receive(int count, int timeoutMs = 2000) const
    {
        QByteArray out;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        char buffer[4096];
        while (out.size() < count) {
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n > 0) {
                out.append(buffer, n);
                continue;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0)
                break;
            pollfd p{master_, POLLIN, 0};
            poll(&p, 1, int(left));
        }
        return out;
    }

    // The slave's settings, as the master sees them.
    termios Settings() const
    {
        termios t{};
        tcgetattr(master_, &t);
        return t;
    }

private:
    int master_ = -1;
    int slave_ = -1;
    QByteArray path_;
};

// Points ORVALEN_COM_DIR at a fresh folder for the life of the object; comN entries are links.
class ComDir
{
public:
    ComDir() { setenv("ORVALEN_COM_DIR", dir_.path().toLocal8Bit().constData(), 1); }
    ~ComDir() { unsetenv("ORVALEN_COM_DIR"); }

    QByteArray PathOf(int n) const
    {
        return dir_.path().toLocal8Bit() + "/com" + QByteArray::number(n);
    }
    void Link(int n, const QByteArray& target) const
    {
        unlink(PathOf(n).constData());
        if (symlink(target.constData(), PathOf(n).constData()) != 0)
            std::abort();
    }

private:
    QTemporaryDir dir_;
};
