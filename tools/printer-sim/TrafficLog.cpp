#include "TrafficLog.h"

#include "Wire.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

namespace printersim {

namespace {

// A descriptor of its own for the log, in non-blocking mode. Pipes and terminals are opened
// afresh, so that the non-blocking flag does not reach whoever shares our standard output (a
// shell's terminal would start failing its reads). A regular file never blocks and keeps the
// shared offset; anything else (a socket) gets the flag on the shared description.
int OpenWriter(int fd)
{
    struct stat st
    {
    };
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        return fcntl(fd, F_DUPFD_CLOEXEC, 0);
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    const int own = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (own >= 0)
        return own;
    const int copy = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy >= 0)
        fcntl(copy, F_SETFL, fcntl(copy, F_GETFL) | O_NONBLOCK);
    return copy;
}

} // namespace

TrafficLog::TrafficLog(int fd) : out_(OpenWriter(fd)) {}

TrafficLog::~TrafficLog()
{
    // A last try, so that a reader who catches up before the end learns what it missed.
    if (dropped_ > 0)
        Event("stopping");
}

std::string TrafficLog::Line(std::chrono::system_clock::time_point at, std::string_view kind,
                             std::string_view body)
{
    const auto sinceEpoch = at.time_since_epoch();
    const std::time_t seconds = std::chrono::floor<std::chrono::seconds>(sinceEpoch).count();
    const auto ms =
        std::chrono::floor<std::chrono::milliseconds>(sinceEpoch).count() - seconds * 1000LL;
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[64];
    const std::size_t n = std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &local);
    std::snprintf(stamp + n, sizeof stamp - n, ".%03lld", static_cast<long long>(ms));
    std::string line = stamp;
    line += ' ';
    line += kind;
    line += ' ';
    line += body;
    line += '\n';
    return line;
}

std::string TrafficLog::Bytes(std::string_view bytes)
{
    return HexText(bytes) + " | " + ReadableText(bytes);
}

bool TrafficLog::FinishUnfinished()
{
    while (!unfinished_.empty()) {
        const ssize_t n = ::write(out_.Get(), unfinished_.data(), unfinished_.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        unfinished_.erase(0, static_cast<std::size_t>(n));
    }
    return true;
}

void TrafficLog::Write(std::string_view kind, std::string_view body)
{
    if (out_.Get() < 0)
        return;
    if (!FinishUnfinished()) {
        ++dropped_;
        return;
    }
    const auto now = std::chrono::system_clock::now();
    std::string text;
    if (dropped_ > 0)
        text = Line(now, "EV",
                    std::to_string(dropped_) +
                        " log lines dropped: the log's reader was not keeping up");
    text += Line(now, kind, body);
    ssize_t n;
    do {
        n = ::write(out_.Get(), text.data(), text.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        ++dropped_;
        return;
    }
    dropped_ = 0;
    unfinished_ = text.substr(static_cast<std::size_t>(n));
}

} // namespace printersim
