#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace printersim {

// What the printer made of the bytes it received.
struct Received
{
    enum class Kind
    {
        Frame,     // a well-formed command frame
        BadFrame,  // something that began with STX but is not a valid frame
        ResetByte, // one or more bytes 0x07..0x19 outside a frame
        Noise,     // any other bytes outside a frame
    };
    Kind kind = Kind::Noise;
    std::string raw;     // the bytes as they came, check digits included
    char seq = 0;        // Frame: the sequence byte
    std::string payload; // Frame: the command byte and its fields
    std::string problem; // BadFrame: why it was refused
};

// Splits the byte stream of the line into frames, whatever the size of each read. A frame is STX,
// one sequence byte (0x20..0x7E), the payload, ETX, then the check digits: four upper-case hex
// digits, five when the byte sum from STX to ETX is 0x10000 or more. Payload bytes are taken as
// they come (nothing is escaped), so an STX inside a frame is payload.
class FrameReader
{
public:
    // Longer payloads are refused rather than buffered without bound.
    static constexpr std::size_t MaxPayload = 4096;

    // Takes the next bytes of the stream. Consecutive reset bytes (or noise) of one call come out
    // as one event.
    std::vector<Received> Feed(std::string_view bytes);

    // A frame has begun and is not yet complete.
    bool InFrame() const { return state_ != State::Idle; }

    // Gives up the frame under way (the sender went quiet in the middle of it).
    std::optional<Received> Abandon();

private:
    enum class State
    {
        Idle,
        Sequence,
        Payload,
        Check,
    };

    void Take(char c, std::vector<Received>& out);
    void Refuse(std::string problem, std::vector<Received>& out);
    static void Append(Received::Kind kind, char c, std::vector<Received>& out);

    State state_ = State::Idle;
    std::string raw_;
    std::string payload_;
    std::string check_;
    std::string expected_;
    char seq_ = 0;
};

} // namespace printersim
