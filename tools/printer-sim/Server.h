#pragma once

#include "Endpoint.h"
#include "FrameReader.h"
#include "Options.h"
#include "Printer.h"
#include "TrafficLog.h"

#include <chrono>
#include <deque>
#include <random>
#include <string>

namespace printersim {

// Serves the line: reads frames from the endpoint, answers them through the printer (with the
// faults the options ask for), and logs the traffic. Sleeps in poll() whenever nothing is due.
class Server
{
public:
    // Replies (or pieces of replies) waiting for their time or for the other side to read. A
    // printer's buffer is small; past this the oldest go, so a reader that never reads cannot
    // make the simulator grow without bound.
    static constexpr std::size_t MaxPending = 64;

    Server(const Options& options, Endpoint& line, TrafficLog& log);

    // Runs until a signal arrives on signalFd (a signalfd) or the device vanishes. Returns the
    // process exit code.
    int Run(int signalFd);

private:
    using Clock = std::chrono::steady_clock;

    struct Outgoing
    {
        Clock::time_point due;
        std::string bytes;
        std::string label;
        bool started = false; // part of it is on the wire
    };

    bool ReadInput();
    void Handle(const Received& received);
    void Answer(const Received& frame);
    void Schedule(std::string reply, const std::string& label);
    void SendDue();
    void Flood();
    int PollTimeoutMs() const;
    std::string RandomBytes(std::size_t count);

    const Options& options_;
    Endpoint& line_;
    TrafficLog& log_;
    FrameReader reader_;
    Printer printer_;
    std::deque<Outgoing> out_;
    bool blocked_ = false; // the other side's input queue is full: wait for room
    bool vanished_ = false;
    int frames_ = 0;
    bool flooding_ = false;
    Clock::time_point nextFlood_;
    Clock::time_point lastInput_;
    std::mt19937 random_{20261207}; // fixed seed: the same faults on every run
    std::string previousReply_;     // --late-reply: the reply held back for the next frame
};

} // namespace printersim
