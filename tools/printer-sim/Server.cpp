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
constexpr double PiecePauseMs = 1200;
// Between the bytes of a slow printer's reply.
constexpr double SlowByteMs = 1000;
// A frame whose rest does not come within this time is dropped.
constexpr double FrameGapMs = 2000;
// A flood sends about what a 9600-baud line carries.
constexpr double FloodIntervalMs = 100;
constexpr std::size_t FloodChunk = 96;

} // namespace

Server::Server(const Options& options, Endpoint& line, TrafficLog& log)
    : options_(options), line_(line), log_(log), printer_(options.serial)
{
    printer_.SetRefuseZ(options.refuseZ);
    printer_.SetRefuseClock(options.refuseClock);
}

int Server::Run(int signalFd)
{
    for (;;) {
        pollfd fds[2] = {
            {line_.Fd(), static_cast<short>(POLLIN | (blocked_ ? POLLOUT : 0)), 0},
            {signalFd, POLLIN, 0},
        };
        if (poll(fds, 2, PollTimeoutMs()) < 0) {
            if (errno == EINTR)
                continue;
            log_.Event(std::string("poll failed: ") + std::strerror(errno));
            return 1;
        }
        if (fds[1].revents & POLLIN) {
            signalfd_siginfo info{};
            if (read(signalFd, &info, sizeof info) == sizeof info)
                log_.Event(std::string("stopping on ") +
                           strsignal(static_cast<int>(info.ssi_signo)));
            return 0;
        }
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            // A pty's slave is held by ourselves, so this is the device failing or going away,
            // not the other side closing.
            log_.Event("the line failed or went away");
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
            now - lastInput_ >= std::chrono::milliseconds(options_.RealMs(FrameGapMs))) {
            if (auto dropped = reader_.Abandon()) {
                log_.Received(dropped->raw);
                log_.Event("dropped (" + dropped->problem + ")");
            }
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
        const ssize_t n = read(line_.Fd(), buffer, sizeof buffer);
        if (n > 0 && options_.echo) {
            log_.Received(std::string_view(buffer, n));
            Schedule(std::string(buffer, n), "echo");
            continue;
        }
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
        // A tty that reads 0 bytes in raw mode has hung up: the device is gone.
        log_.Event(std::string("reading the line failed: ") +
                   (n == 0 ? "hang-up" : std::strerror(errno)));
        return false;
    }
}

void Server::Handle(const Received& received)
{
    switch (received.kind) {
    case Received::Kind::ResetByte:
        log_.Received(received.raw);
        log_.Event("reset bytes, no answer");
        return;
    case Received::Kind::Noise:
        log_.Received(received.raw);
        log_.Event("stray bytes, no answer");
        return;
    case Received::Kind::Frame:
    case Received::Kind::BadFrame:
        break;
    }
    const bool good = received.kind == Received::Kind::Frame;
    log_.Received(received.raw);
    log_.Event(good ? "frame" : "bad frame (" + received.problem + ")");
    ++frames_;
    if (options_.vanishAfter > 0 && frames_ == options_.vanishAfter) {
        log_.Event("vanishing: closing the line");
        line_.Vanish();
        vanished_ = true;
        return;
    }
    if (options_.flood) {
        if (!flooding_)
            log_.Event("flooding the line");
        flooding_ = true;
        nextFlood_ = Clock::now();
        return;
    }
    if (options_.silent)
        return;
    if (good)
        Answer(received);
    else
        Schedule(std::string(1, Nak), "NAK");
}

void Server::Answer(const Received& frame)
{
    const bool status = !frame.payload.empty() && frame.payload[0] == '\x80';
    // Another sequence byte in 20..7E, and so one the command did not carry.
    const char seq = options_.wrongSequence && !status
                         ? static_cast<char>(0x20 + (frame.seq - 0x20 + 1) % 0x5F)
                         : frame.seq;
    const auto answer = printer_.Respond(seq, frame.payload, std::time(nullptr));
    log_.Event(answer.note);
    for (const auto& line : answer.printed)
        log_.Event("printed: " + line);
    std::string reply = answer.frame;
    std::string label = "reply";
    if (options_.lateReply && frames_ > 1) {
        std::swap(reply, previousReply_);
        label = "late reply";
    } else if (options_.lateReply) {
        previousReply_ = reply;
    }
    if (options_.garbage || options_.junkEtx) {
        std::uniform_int_distribution<std::size_t> length(16, 48);
        reply = RandomBytes(length(random_));
        label = "garbage";
        if (options_.junkEtx)
            reply += Etx;
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
    const auto pause = std::chrono::milliseconds(options_.RealMs(PiecePauseMs));
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
    // A reply already partly on the wire is finished, or the other side would see half a frame.
    const std::size_t oldest = out_.front().started ? 1 : 0;
    std::size_t dropped = 0;
    for (; out_.size() > MaxPending; ++dropped)
        out_.erase(out_.begin() + static_cast<std::ptrdiff_t>(oldest));
    if (dropped > 0)
        log_.Event("dropped the " + std::to_string(dropped) + " oldest of " +
                   std::to_string(MaxPending + dropped) +
                   " waiting replies: the other side is not reading");
}

void Server::SendDue()
{
    const auto now = Clock::now();
    while (!blocked_ && !out_.empty() && out_.front().due <= now) {
        Outgoing& next = out_.front();
        // A slow printer sends a byte at a time.
        const ssize_t n =
            write(line_.Fd(), next.bytes.data(), options_.slow ? 1 : next.bytes.size());
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                blocked_ = true;
            } else if (errno != EINTR) {
                log_.Event(std::string("writing the line failed: ") + std::strerror(errno));
                out_.pop_front();
            }
            continue;
        }
        if (next.label != "reply") {
            log_.Event(next.label);
            next.label = "reply"; // the rest of a piece the line took only in part
        }
        log_.Sent(std::string_view(next.bytes).substr(0, n));
        if (options_.slow && static_cast<std::size_t>(n) < next.bytes.size()) {
            next.bytes.erase(0, n);
            next.started = true;
            next.due = now + std::chrono::milliseconds(options_.RealMs(SlowByteMs));
            break;
        }
        if (static_cast<std::size_t>(n) < next.bytes.size()) {
            next.bytes.erase(0, n);
            next.started = true;
            blocked_ = true;
        } else {
            out_.pop_front();
        }
    }
}

void Server::Flood()
{
    const std::string bytes = RandomBytes(FloodChunk);
    // A full queue on the other side just loses this chunk: a flood does not wait.
    const ssize_t n = write(line_.Fd(), bytes.data(), bytes.size());
    if (n > 0)
        log_.Sent(std::string_view(bytes).substr(0, n));
    else if (n < 0 && errno != EAGAIN)
        log_.Event(std::string("writing the line failed: ") + std::strerror(errno));
    nextFlood_ = Clock::now() + std::chrono::milliseconds(options_.RealMs(FloodIntervalMs));
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
        earliest(lastInput_ + std::chrono::milliseconds(options_.RealMs(FrameGapMs)));
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
