#pragma once

// The test's end of the simulator's line, opened as the program under test would open it.
#include "platform/UniqueFd.h"

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The symlinked slave, opened in raw mode.
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
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    bool IsOpen() const { return fd_.IsOpen(); }
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
    UniqueFd fd_;
    std::vector<Chunk> chunks_;
};
