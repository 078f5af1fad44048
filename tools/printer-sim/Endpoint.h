#pragma once

#include <string>

namespace printersim {

// The printer's end of the serial line, whatever carries it.
class Endpoint
{
public:
    virtual ~Endpoint() = default;

    // A non-blocking descriptor to read the program's bytes from and write the replies to.
    virtual int Fd() const = 0;
    // What the ready line tells a watcher: where the program under test should connect.
    virtual std::string Describe() const = 0;
    // The device goes away: the other side sees a hang-up (where the line can show one).
    virtual void Vanish() = 0;
};

} // namespace printersim
