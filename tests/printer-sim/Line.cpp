#include "Line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

int RemainingMs(std::chrono::steady_clock::time_point deadline)
{
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

} // namespace

Line::Line(const std::string& path)
{
    fd_.Reset(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd_.IsOpen())
        return;
    termios t{};
    tcgetattr(fd_.Get(), &t);
    cfmakeraw(&t);
    tcsetattr(fd_.Get(), TCSANOW, &t);
}

void Line::Close()
{
    fd_.Reset();
}

void Line::Write(std::string_view bytes)
{
    ASSERT_EQ(write(fd_.Get(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

std::string Line::ReadUntil(int timeoutMs, const std::function<bool(const std::string&)>& done)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string bytes;
    while (!done(bytes)) {
        pollfd p{fd_.Get(), POLLIN, 0};
        if (poll(&p, 1, RemainingMs(deadline)) <= 0 || !(p.revents & POLLIN))
            break;
        char buffer[4096];
        const ssize_t n = read(fd_.Get(), buffer, sizeof buffer);
        if (n <= 0)
            break;
        bytes.append(buffer, n);
        chunks_.push_back({Clock::now(), std::string(buffer, n)});
    }
    return bytes;
}

std::string Line::ReadFor(int ms)
{
    return ReadUntil(ms, [](const std::string&) { return false; });
}

std::string Line::ReadReply(int timeoutMs)
{
    return ReadUntil(timeoutMs, [](const std::string& bytes) {
        const auto etx = bytes.find('\x03');
        return bytes == "\x15" || (etx != std::string::npos && bytes.size() >= etx + 5);
    });
}

short Line::Poll(int timeoutMs)
{
    pollfd p{fd_.Get(), POLLIN, 0};
    return poll(&p, 1, timeoutMs) > 0 ? p.revents : 0;
}

int Line::ReadError()
{
    char c;
    const ssize_t n = read(fd_.Get(), &c, 1);
    return n < 0 ? errno : (n == 0 ? 0 : -1);
}

int Line::WriteError()
{
    const ssize_t n = write(fd_.Get(), "\x02", 1);
    return n < 0 ? errno : 0;
}
