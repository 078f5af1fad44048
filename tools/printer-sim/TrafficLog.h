#pragma once

#include "platform/UniqueFd.h"

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace printersim {

// The simulator's traffic log, one line per entry in the shape that the program's own traffic
// log uses, so that one reader serves both sides of the line:
//   2026-12-07T22:25:39.123 RX 02 44 80 03 30 30 43 39 | <STX>D<80><ETX>00C9
// local time to the millisecond, RX (bytes the printer received), TX (bytes it sent) or EV (an
// event, followed by its text), then the bytes in hex and in readable form.
//
// Writing never blocks the printer: a line the reader has no room for is counted, and the count
// is reported in the next line that gets through.
class TrafficLog
{
public:
    // Writes to the file behind descriptor fd (the simulator's standard output).
    explicit TrafficLog(int fd);
    ~TrafficLog();
    TrafficLog(const TrafficLog&) = delete;
    TrafficLog& operator=(const TrafficLog&) = delete;

    void Received(std::string_view bytes) { Write("RX", Bytes(bytes)); }
    void Sent(std::string_view bytes) { Write("TX", Bytes(bytes)); }
    void Event(std::string_view text) { Write("EV", text); }

    // One whole line, newline included.
    static std::string Line(std::chrono::system_clock::time_point at, std::string_view kind,
                            std::string_view body);

private:
    static std::string Bytes(std::string_view bytes);
    void Write(std::string_view kind, std::string_view body);
    bool FinishUnfinished();

    UniqueFd out_;
    std::string unfinished_; // the tail of a line that the reader took only part of
    std::size_t dropped_ = 0;
};

} // namespace printersim
