#pragma once

#include "FrameReader.h"
#include "Options.h"
#include "Printer.h"
#include "PtyEndpoint.h"

#include <chrono>
#include <deque>
#include <random>
#include <string>

namespace printersim {

// Serves the line: reads frames from the pty, answers them through the printer (with the faults
// the options ask for), and logs the traffic on stdout. Sleeps in poll() whenever nothing is due.
class Server
{
public:
    Server(const Options& options, PtyEndpoint& pty);

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
    PtyEndpoint& pty_;
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
};

// One line of the traffic log on stdout, flushed at once so that a watcher sees it.
void LogLine(const std::string& text);

} // namespace printersim
