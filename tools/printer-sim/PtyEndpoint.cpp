#include "PtyEndpoint.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <stdexcept>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace printersim {

namespace {

[[noreturn]] void Fail(const std::string& what)
{
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

void MakeRaw(int fd)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        Fail("tcgetattr");
    // Raw: on a cooked line our ETX (0x03) would be the interrupt character.
    cfmakeraw(&t);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    if (tcsetattr(fd, TCSANOW, &t) != 0)
        Fail("tcsetattr");
}

std::string ReadLink(const std::string& path)
{
    char target[4096];
    const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    return n < 0 ? std::string() : std::string(target, static_cast<std::size_t>(n));
}

} // namespace

PtyEndpoint::PtyEndpoint(std::string linkPath) : linkPath_(std::move(linkPath))
{
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
        Fail("openpty");
    master_.Reset(master);
    slave_.Reset(slave);
    slavePath_ = name;
    for (int fd : {master, slave}) {
        if (fcntl(fd, F_SETFD, FD_CLOEXEC) != 0)
            Fail("fcntl");
    }
    if (fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK) != 0)
        Fail("fcntl");
    MakeRaw(slave);
    MakeRaw(master);

    struct stat st
    {
    };
    if (lstat(linkPath_.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode))
            throw std::runtime_error(linkPath_ + " exists and is not a symbolic link");
        if (unlink(linkPath_.c_str()) != 0)
            Fail("cannot remove the old link " + linkPath_);
    }
    if (symlink(slavePath_.c_str(), linkPath_.c_str()) != 0)
        Fail("cannot create the link " + linkPath_);
    linked_ = true;
}

PtyEndpoint::~PtyEndpoint()
{
    RemoveLink();
}

void PtyEndpoint::Vanish()
{
    RemoveLink();
    master_.Reset();
    slave_.Reset();
}

void PtyEndpoint::RemoveLink()
{
    // Another simulator may have taken the path over since; its link stays.
    if (linked_ && ReadLink(linkPath_) == slavePath_)
        unlink(linkPath_.c_str());
    linked_ = false;
}

} // namespace printersim
