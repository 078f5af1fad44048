#pragma once

// The simulated printer as a separate process, started with fork and exec (a QProcess inside a
// ThreadSanitizer-built test would confuse the sanitizer's view of Qt's locks), its log read
// from a pipe.

#include "platform/UniqueFd.h"

#include <QSocketNotifier>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

class SimProcess
{
public:
    // Starts the simulator with its link at `link` and waits up to 10 s for its ready line.
    // Without a link the options say where it serves (--device).
    SimProcess(const std::string& link, const std::vector<std::string>& options);
    // Stops it (SIGTERM, then SIGKILL when it does not end).
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool Ready() const { return ready_; }
    const std::string& ReadyLine() const { return readyLine_; }
    pid_t Pid() const { return pid_; }

    void Signal(int sig);
    // The exit code once the process has ended within the time, else nothing (also for a death
    // by signal).
    std::optional<int> WaitExit(int timeoutMs);

    // Everything printed after the ready line that the pipe holds by now.
    std::string Log();
    // Reads on until the log satisfies `done` (or holds `text`) or the time is up.
    bool WaitForLog(const std::function<bool(const std::string& log)>& done, int timeoutMs = 5000);
    bool WaitForLog(const std::string& text, int timeoutMs = 5000);
    // Reads the log whenever the event loop runs, as a program that starts the simulator would,
    // so that a long run never fills the pipe (the simulator would drop log lines).
    void ReadInEventLoop();

    // Received frames (or runs of stray bytes): one per RX line of the log.
    int FramesReceived();
    // The RX log lines of the frames it took as well-formed frames.
    std::vector<std::string> Frames();

private:
    // Appends what the pipe holds now; false when it held nothing.
    bool ReadAvailable();

    pid_t pid_ = -1;
    UniqueFd out_;
    bool outEnded_ = false; // the simulator closed its output: nothing more will come
    UniqueFd pidFd_;
    bool exited_ = false;
    int status_ = 0;
    bool ready_ = false;
    std::string readyLine_;
    std::string log_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

// Starts the simulator with the given options and returns its exit code and what it printed on
// stdout and stderr; for options that make it refuse to start or end at once.
std::pair<int, std::string> RunSimToEnd(const std::vector<std::string>& args);
