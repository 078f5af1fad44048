#include "support/SimProcess.h"

#include "support/SimLog.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return int(std::max<long long>(0, left));
}

// Starts the simulator with stdout (and stderr when wanted) on a pipe whose read end is
// returned, close-on-exec and non-blocking.
pid_t Spawn(std::vector<std::string> args, UniqueFd& readEnd, bool withStderr)
{
    args.insert(args.begin(), ORVALEN_PRINTER_SIM);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    UniqueFd in(fds[0]), out(fds[1]);
    const pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        dup2(out.Get(), STDOUT_FILENO);
        if (withStderr)
            dup2(out.Get(), STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (pid > 0) {
        fcntl(in.Get(), F_SETFL, fcntl(in.Get(), F_GETFL) | O_NONBLOCK);
        readEnd = std::move(in);
    }
    return pid;
}

bool WaitReadable(int fd, Clock::time_point deadline)
{
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, MsLeft(deadline)) > 0;
}

} // namespace

SimProcess::SimProcess(const std::string& link, const std::vector<std::string>& options)
{
    std::vector<std::string> args;
    if (!link.empty())
        args = {"--link", link};
    args.insert(args.end(), options.begin(), options.end());
    pid_ = Spawn(args, out_, false);
    if (pid_ < 0)
        return;
    pidFd_.Reset(static_cast<int>(syscall(SYS_pidfd_open, pid_, 0)));
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (log_.find('\n') == std::string::npos) {
        if (!ReadAvailable() && (outEnded_ || !WaitReadable(out_.Get(), deadline)))
            return;
    }
    const auto eol = log_.find('\n');
    readyLine_ = log_.substr(0, eol);
    log_.erase(0, eol + 1);
    ready_ = IsReadyLine(readyLine_);
}

SimProcess::~SimProcess()
{
    notifier_.reset();
    if (pid_ > 0 && !exited_) {
        Signal(SIGTERM);
        if (!WaitExit(5000) && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status_, 0);
        }
    }
}

void SimProcess::Signal(int sig)
{
    if (pid_ > 0 && !exited_)
        kill(pid_, sig);
}

std::optional<int> SimProcess::WaitExit(int timeoutMs)
{
    if (!exited_ && pid_ > 0) {
        if (pidFd_.IsOpen()) {
            pollfd p{pidFd_.Get(), POLLIN, 0};
            poll(&p, 1, timeoutMs);
        }
        exited_ = waitpid(pid_, &status_, pidFd_.IsOpen() ? WNOHANG : 0) == pid_;
    }
    if (exited_ && WIFEXITED(status_))
        return WEXITSTATUS(status_);
    return std::nullopt;
}

bool SimProcess::ReadAvailable()
{
    bool got = false;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(out_.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            outEnded_ = true;
        if (n <= 0)
            return got;
        log_.append(buffer, size_t(n));
        got = true;
    }
}

std::string SimProcess::Log()
{
    ReadAvailable();
    return log_;
}

bool SimProcess::WaitForLog(const std::function<bool(const std::string&)>& done, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        ReadAvailable();
        if (done(log_))
            return true;
        if (outEnded_ || !WaitReadable(out_.Get(), deadline))
            return false;
    }
}

bool SimProcess::WaitForLog(const std::string& text, int timeoutMs)
{
    return WaitForLog(
        [&text](const std::string& log) { return log.find(text) != std::string::npos; }, timeoutMs);
}

void SimProcess::ReadInEventLoop()
{
    if (notifier_ || !out_.IsOpen())
        return;
    notifier_ = std::make_unique<QSocketNotifier>(out_.Get(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] {
        // At the pipe's end (the simulator ended) the notifier would fire on and on.
        ReadAvailable();
        if (outEnded_)
            notifier_->setEnabled(false);
    });
}

int SimProcess::FramesReceived()
{
    const auto lines = ParseLog(Log());
    return int(std::count_if(lines.begin(), lines.end(),
                             [](const LogLine& line) { return line.kind == "RX"; }));
}

std::vector<std::string> SimProcess::Frames()
{
    // An RX line is a frame when the event right after it says so.
    const std::string log = Log();
    std::vector<std::string> frames;
    std::string_view rest = log;
    std::string_view previous;
    while (!rest.empty()) {
        const auto eol = rest.find('\n');
        if (eol == std::string_view::npos)
            break; // a line still being written
        const std::string_view line = rest.substr(0, eol);
        rest.remove_prefix(eol + 1);
        if (line.substr(std::min(line.size(), StampLength)) == " EV frame" &&
            previous.substr(std::min(previous.size(), StampLength), 4) == " RX ")
            frames.emplace_back(previous);
        previous = line;
    }
    return frames;
}

std::pair<int, std::string> RunSimToEnd(const std::vector<std::string>& args)
{
    UniqueFd out;
    const pid_t pid = Spawn(args, out, true);
    if (pid < 0)
        return {-1, {}};
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    std::string text;
    char buffer[512];
    for (;;) {
        const ssize_t n = read(out.Get(), buffer, sizeof buffer);
        if (n > 0)
            text.append(buffer, size_t(n));
        else if (n < 0 && errno == EINTR)
            continue;
        else if (n < 0 && errno == EAGAIN && WaitReadable(out.Get(), deadline))
            continue;
        else if (n < 0 && errno == EAGAIN)
            kill(pid, SIGKILL); // it should have ended long ago
        else
            break;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}
