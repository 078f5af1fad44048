#pragma once

// Runs the real simulator binary and talks to it through its pseudo-terminal, as the program
// under test would.
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

// One line of the traffic log: "2026-12-07T22:25:39.123 RX 02 44 | <STX>D".
struct LogLine
{
    std::string stamp; // local time to the millisecond
    std::string kind;  // RX, TX or EV
    std::string text;  // everything after the kind
    std::string bytes; // RX, TX: the bytes the hex pairs stand for
    std::string readable;
};
constexpr std::size_t StampLength = 23; // 2026-12-07T22:25:39.123

// The lines of a traffic log in the shared shape; lines of another shape are left out.
std::vector<LogLine> ParseLog(std::string_view text);
bool IsReadyLine(std::string_view line);

// A temporary directory, removed with everything in it.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// The simulator process. The constructor waits for its "ready" line; the destructor stops it.
// Without a link the options say where it serves (--device).
class SimProcess
{
public:
    SimProcess(const std::string& link, const std::vector<std::string>& options);
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
    // Everything printed since the ready line, waiting at most timeoutMs for more.
    std::string Log(int timeoutMs = 0);

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int pidFd_ = -1;
    bool exited_ = false;
    int status_ = 0;
    bool ready_ = false;
    std::string readyLine_;
    std::string pending_;
};

// Starts the simulator with the given options and returns its exit code and what it printed on
// stderr; for options that make it refuse to start.
std::pair<int, std::string> RunSimToEnd(const std::vector<std::string>& args);

// The test's end of the line: the symlinked slave, opened in raw mode.
class Line
{
public:
    using Clock = std::chrono::steady_clock;
    struct Chunk
    {
        Clock::time_point at;
        std::string bytes;
    };

    explicit Line(const std::string& path);
    ~Line();
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    void Write(std::string_view bytes);
    void Close();

    // Reads until done(bytes so far) or the time is up. Each read lands in Chunks().
    std::string ReadUntil(int timeoutMs, const std::function<bool(const std::string&)>& done);
    std::string ReadFor(int ms);
    // One reply frame: up to its ETX and four check digits (or a lone NAK).
    std::string ReadReply(int timeoutMs = 3000);
    const std::vector<Chunk>& Chunks() const { return chunks_; }

    // poll() events on the line within the time.
    short Poll(int timeoutMs);
    // What one read gives: its errno, 0 at end of file, -1 when a byte came.
    int ReadError();
    // What writing one byte gives: its errno, or 0.
    int WriteError();

private:
    int fd_ = -1;
    std::vector<Chunk> chunks_;
};

// STX seq payload ETX and the four (or five) upper-case hex check digits, built independently of
// the simulator's own code.
std::string Frame(char seq, std::string_view payload);
