#pragma once

#include "DeviceEndpoint.h"

#include <string>
#include <vector>

namespace printersim {

struct Options
{
    std::string link;                  // where the symlink to the pty goes
    std::string device;                // or the serial device to serve instead of a pty
    LineFormat format;                 // the device's settings
    std::string serial = "QDX0012345"; // the printer's serial number
    bool silent = false;
    int delayMs = 0;
    int pieces = 1;
    bool zeroByte = false;
    bool garbage = false;
    bool flood = false;
    int vanishAfter = 0;        // 0: never
    bool echo = false;          // send back every byte received, as a loopback plug does
    bool refuseZ = false;       // refuse the Z report with ERRO
    bool refuseClock = false;   // refuse every date and time with ERRO
    bool slow = false;          // send replies one byte a second
    bool junkEtx = false;       // answer with random bytes that end in ETX
    bool wrongSequence = false; // replies to commands other than the status request: another seq
    bool lateReply = false; // answer each frame after the first with the reply to the one before
    double timeScale = 1.0;
    bool help = false;
    bool version = false;

    // A duration of the printer's behaviour in real milliseconds, after the time scale.
    int RealMs(double ms) const;
};

// Reads the command line (without the program name). Throws std::invalid_argument with a message
// for the user when it is not understood.
Options ParseOptions(const std::vector<std::string>& args);

std::string HelpText();

} // namespace printersim
