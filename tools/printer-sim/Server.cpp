#include "Server.h"

#include "Wire.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace printersim {

namespace {

// Between the pieces of a split reply.
constexpr double kPiecePauseMs = 1200;
// A frame whose rest does not come within this time is dropped.
constexpr double kFrameGapMs = 2000;
// A flood sends about what a 9600-baud line carries.
constexpr double kFloodIntervalMs = 100;
constexpr std::size_t kFloodChunk = 96;

void LogTraffic(const char* direction, const std::string& what, std::string_view bytes)
{
    LogLine(std::string(direction) + " " + what + ": " + HexText(bytes) + " | " +
            ReadableText(bytes));
}

} // namespace

void LogLine(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

Server::Server(const Options& options, PtyEndpoint& pty)
    : options_(options), pty_(pty), printer_(options.serial)
{
}

int Server::Run(int signalFd)
{
    for (;;) {
        pollfd fds[2] = {
            {pty_.Master(), static_cast<short>(POLLIN | (blocked_ ? POLLOUT : 0)), 0},
            {signalFd, POLLIN, 0},
        };
        if (poll(fds, 2, PollTimeoutMs()) < 0) {
            if (errno == EINTR)
                continue;
            LogLine(std::string("poll failed: ") + std::strerror(errno));
            return 1;
        }
        if (fds[1].revents & POLLIN) {
            signalfd_siginfo info{};
            if (read(signalFd, &info, sizeof info) == sizeof info)
                LogLine(std::string("stopping on ") + strsignal(static_cast<int>(info.ssi_signo)));
            return 0;
        }
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            // We hold a slave descriptor ourselves, so this is not the other side closing.
            LogLine("the terminal failed");
            return 1;
        }
        if (fds[0].revents & POLLOUT)
            blocked_ = false;
        if ((fds[0].revents & POLLIN) && !ReadInput())
            return 1;
        if (vanished_)
            return 0;
        const auto now = Clock::now();
        if (reader_.InFrame() &&
            now - lastInput_ >= std::chrono::milliseconds(options_.RealMs(kFrameGapMs))) {
            if (auto dropped = reader_.Abandon())
                LogTraffic("<<", "dropped (" + dropped->problem + ")", dropped->raw);
        }
        if (flooding_ && now >= nextFlood_)
            Flood();
        SendDue();
    }
}

bool Server::ReadInput()
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(pty_.Master(), buffer, sizeof buffer);
        if (n > 0) {
            lastInput_ = Clock::now();
            for (const auto& received : reader_.Feed(std::string_view(buffer, n))) {
                Handle(received);
                if (vanished_)
                    return true;
            }
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        LogLine(std::string("reading the terminal failed: ") +
                (n == 0 ? "end of file" : std::strerror(errno)));
        return false;
    }
}

void Server::Handle(const Received& received)
{
    switch (received.kind) {
    case Received::Kind::ResetByte:
        LogTraffic("<<", "reset bytes, no answer", received.raw);
        return;
    case Received::Kind::Noise:
        LogTraffic("<<", "stray bytes, no answer", received.raw);
        return;
    case Received::Kind::Frame:
    case Received::Kind::BadFrame:
        break;
    }
    const bool good = received.kind == Received::Kind::Frame;
    LogTraffic("<<", good ? "frame" : "bad frame (" + received.problem + ")", received.raw);
    ++frames_;
    if (options_.vanishAfter > 0 && frames_ == options_.vanishAfter) {
        LogLine("vanishing: closing the terminal");
        pty_.Vanish();
        vanished_ = true;
        return;
    }
    if (options_.flood) {
        if (!flooding_)
            LogLine("flooding the line");
        flooding_ = true;
        nextFlood_ = Clock::now();
        return;
    }
    if (options_.silent)
        return;
    if (good)
        Answer(received);
    else
        Schedule(std::string(1, kNak), "NAK");
}

void Server::Answer(const Received& frame)
{
    const auto answer = printer_.Respond(frame.seq, frame.payload, std::time(nullptr));
    LogLine("   " + answer.note);
    for (const auto& line : answer.printed)
        LogLine("   printed: " + line);
    std::string reply = answer.frame;
    std::string label = "reply";
    if (options_.garbage) {
        std::uniform_int_distribution<std::size_t> length(16, 48);
        reply = RandomBytes(length(random_));
        label = "garbage";
    }
    if (options_.zeroByte)
        reply.insert(reply.size() / 2, 1, '\0');
    Schedule(std::move(reply), label);
}

void Server::Schedule(std::string reply, const std::string& label)
{
    auto due = Clock::now() + std::chrono::milliseconds(options_.RealMs(options_.delayMs));
    if (!out_.empty())
        due = std::max(due, out_.back().due);
    const std::size_t pieces = std::min<std::size_t>(options_.pieces, reply.size());
    const auto pause = std::chrono::milliseconds(options_.RealMs(kPiecePauseMs));
    std::size_t start = 0;
    for (std::size_t i = 0; i < pieces; ++i) {
        const std::size_t end = reply.size() * (i + 1) / pieces;
        std::string name = label;
        if (pieces > 1)
            name += " piece " + std::to_string(i + 1) + "/" + std::to_string(pieces);
        out_.push_back({due, reply.substr(start, end - start), std::move(name)});
        start = end;
        due += pause;
    }
}

void Server::SendDue()
{
    const auto now = Clock::now();
    while (!blocked_ && !out_.empty() && out_.front().due <= now) {
        Outgoing& next = out_.front();
        const ssize_t n = write(pty_.Master(), next.bytes.data(), next.bytes.size());
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                blocked_ = true;
            } else if (errno != EINTR) {
                LogLine(std::string("writing the terminal failed: ") + std::strerror(errno));
                out_.pop_front();
            }
            continue;
        }
        LogTraffic(">>", next.label, std::string_view(next.bytes).substr(0, n));
        if (static_cast<std::size_t>(n) < next.bytes.size()) {
            next.bytes.erase(0, n);
            blocked_ = true;
        } else {
            out_.pop_front();
        }
    }
}

void Server::Flood()
{
    const std::string bytes = RandomBytes(kFloodChunk);
    // A full queue on the other side just loses this chunk: a flood does not wait.
    if (write(pty_.Master(), bytes.data(), bytes.size()) < 0 && errno != EAGAIN)
        LogLine(std::string("writing the terminal failed: ") + std::strerror(errno));
    nextFlood_ = Clock::now() + std::chrono::milliseconds(options_.RealMs(kFloodIntervalMs));
}

int Server::PollTimeoutMs() const
{
    std::optional<Clock::time_point> wake;
    const auto earliest = [&](Clock::time_point t) {
        if (!wake || t < *wake)
            wake = t;
    };
    if (!blocked_ && !out_.empty())
        earliest(out_.front().due);
    if (flooding_)
        earliest(nextFlood_);
    if (reader_.InFrame())
        earliest(lastInput_ + std::chrono::milliseconds(options_.RealMs(kFrameGapMs)));
    if (!wake)
        return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*wake - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 60'000));
}

std::string Server::RandomBytes(std::size_t count)
{
    // Never ETX (the reply would look complete) nor 0x00.
    std::uniform_int_distribution<int> byte(0x04, 0xFF);
    std::string bytes;
    for (std::size_t i = 0; i < count; ++i)
        bytes += static_cast<char>(byte(random_));
    return bytes;
}

} // namespace printersim
