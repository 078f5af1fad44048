#pragma once

#include "Endpoint.h"
#include "platform/UniqueFd.h"

#include <string>

namespace printersim {

// The printer's end of the line: a pseudo-terminal in raw mode with a symbolic link to its slave
// side. The simulator keeps a slave descriptor of its own open, so the master does not see a
// hang-up each time the program under test closes the port.
class PtyEndpoint : public Endpoint
{
public:
    // Throws std::runtime_error when the terminal or the link cannot be made.
    explicit PtyEndpoint(std::string linkPath);
    ~PtyEndpoint() override;
    PtyEndpoint(const PtyEndpoint&) = delete;
    PtyEndpoint& operator=(const PtyEndpoint&) = delete;

    int Fd() const override { return master_.Get(); }
    std::string Describe() const override { return linkPath_ + " -> " + slavePath_; }
    const std::string& SlavePath() const { return slavePath_; }
    const std::string& LinkPath() const { return linkPath_; }

    // The device goes away: both ends close (the other side sees a hang-up) and the link goes.
    void Vanish() override;

private:
    void RemoveLink();

    UniqueFd master_;
    UniqueFd slave_;
    std::string slavePath_;
    std::string linkPath_;
    bool linked_ = false;
};

} // namespace printersim
