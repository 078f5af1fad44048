#include "SimHarness.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

int RemainingMs(std::chrono::steady_clock::time_point deadline)
{
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

// Appends what the descriptor delivers before the deadline; false once nothing more came.
bool ReadSome(int fd, std::string& into, std::chrono::steady_clock::time_point deadline)
{
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, RemainingMs(deadline)) <= 0)
        return false;
    char buffer[4096];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0)
        return false;
    into.append(buffer, size_t(n));
    return true;
}

std::vector<char*> Argv(std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    return argv;
}

// Starts the simulator with stdout (and stderr when wanted) on a pipe.
pid_t Spawn(std::vector<std::string> args, int& readEnd, bool withStderr)
{
    args.insert(args.begin(), PRINTER_SIM_PATH);
    auto argv = Argv(args);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        if (withStderr)
            dup2(fds[1], STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    readEnd = fds[0];
    return pid;
}

} // namespace

bool IsReadyLine(std::string_view line)
{
    return line.find(" EV ready ") == StampLength;
}

std::vector<LogLine> ParseLog(std::string_view text)
{
    std::vector<LogLine> lines;
    while (!text.empty()) {
        const auto eol = text.find('\n');
        const std::string_view line = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        if (line.size() < StampLength + 4 || line[StampLength] != ' ')
            continue;
        LogLine entry;
        entry.stamp = std::string(line.substr(0, StampLength));
        entry.kind = std::string(line.substr(StampLength + 1, 2));
        entry.text = std::string(line.substr(StampLength + 4));
        if (entry.kind != "EV") {
            const auto bar = entry.text.find(" | ");
            std::string_view hex = std::string_view(entry.text).substr(0, bar);
            for (std::size_t i = 0; i < hex.size(); i += 3)
                entry.bytes +=
                    static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
            entry.readable = bar == std::string::npos ? "" : entry.text.substr(bar + 3);
        }
        lines.push_back(std::move(entry));
    }
    return lines;
}

TempDir::TempDir()
{
    char path[] = "/tmp/orvalen-sim-test-XXXXXX";
    if (mkdtemp(path))
        path_ = path;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    if (!path_.empty())
        std::filesystem::remove_all(path_, ignored);
}

SimProcess::SimProcess(const std::string& link, const std::vector<std::string>& options)
{
    std::vector<std::string> args;
    if (!link.empty())
        args = {"--link", link};
    args.insert(args.end(), options.begin(), options.end());
    pid_ = Spawn(args, out_, false);
    if (pid_ < 0)
        return;
    pidFd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::string text;
    while (text.find('\n') == std::string::npos && ReadSome(out_, text, deadline)) {
    }
    const auto eol = text.find('\n');
    if (eol == std::string::npos)
        return;
    readyLine_ = text.substr(0, eol);
    pending_ = text.substr(eol + 1);
    ready_ = IsReadyLine(readyLine_);
}

SimProcess::~SimProcess()
{
    if (pid_ > 0 && !exited_) {
        Signal(SIGTERM);
        if (!WaitExit(5000) && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status_, 0);
        }
    }
    if (out_ >= 0)
        close(out_);
    if (pidFd_ >= 0)
        close(pidFd_);
}

void SimProcess::Signal(int sig)
{
    if (pid_ > 0 && !exited_)
        kill(pid_, sig);
}

std::optional<int> SimProcess::WaitExit(int timeoutMs)
{
    if (!exited_ && pid_ > 0) {
        if (pidFd_ >= 0) {
            pollfd p{pidFd_, POLLIN, 0};
            poll(&p, 1, timeoutMs);
        }
        exited_ = waitpid(pid_, &status_, pidFd_ >= 0 ? WNOHANG : 0) == pid_;
    }
    if (exited_ && WIFEXITED(status_))
        return WEXITSTATUS(status_);
    return std::nullopt;
}

std::string SimProcess::Log(int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (ReadSome(out_, pending_, deadline)) {
    }
    return pending_;
}

std::pair<int, std::string> RunSimToEnd(const std::vector<std::string>& args)
{
    int out = -1;
    const pid_t pid = Spawn(args, out, true);
    std::string text;
    char buffer[512];
    ssize_t n;
    while ((n = read(out, buffer, sizeof buffer)) > 0)
        text.append(buffer, n);
    close(out);
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}

Line::Line(const std::string& path)
{
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
        return;
    termios t{};
    tcgetattr(fd_, &t);
    cfmakeraw(&t);
    tcsetattr(fd_, TCSANOW, &t);
}

Line::~Line()
{
    Close();
}

void Line::Close()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
}

void Line::Write(std::string_view bytes)
{
    ASSERT_EQ(write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

std::string Line::ReadUntil(int timeoutMs, const std::function<bool(const std::string&)>& done)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string bytes;
    while (!done(bytes)) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, RemainingMs(deadline)) <= 0 || !(p.revents & POLLIN))
            break;
        char buffer[4096];
        const ssize_t n = read(fd_, buffer, sizeof buffer);
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
    pollfd p{fd_, POLLIN, 0};
    return poll(&p, 1, timeoutMs) > 0 ? p.revents : 0;
}

int Line::ReadError()
{
    char c;
    const ssize_t n = read(fd_, &c, 1);
    return n < 0 ? errno : (n == 0 ? 0 : -1);
}

int Line::WriteError()
{
    const ssize_t n = write(fd_, "\x02", 1);
    return n < 0 ? errno : 0;
}

std::string Frame(char seq, std::string_view payload)
{
    std::string frame = std::string("\x02") + seq + std::string(payload) + "\x03";
    unsigned sum = 0;
    for (unsigned char c : frame)
        sum += c;
    char digits[16];
    std::snprintf(digits, sizeof digits, "%04X", sum);
    return frame + digits;
}
