#pragma once

// The simulated printer's traffic log, one line per event or run of bytes:
// "2026-12-07T22:25:39.123 RX 02 44 | <STX>D".

#include <string>
#include <string_view>
#include <vector>

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
// The first line the simulator prints once it serves the line.
bool IsReadyLine(std::string_view line);
