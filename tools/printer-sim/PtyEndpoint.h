#pragma once

#include <string>

namespace printersim {

// Owns one file descriptor and closes it.
class UniqueFd
{
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { Reset(); }

    int Get() const { return fd_; }
    int Release();
    void Reset(int fd = -1);

private:
    int fd_ = -1;
};

// The printer's end of the line: a pseudo-terminal in raw mode with a symbolic link to its slave
// side. The simulator keeps a slave descriptor of its own open, so the master does not see a
// hang-up each time the program under test closes the port.
class PtyEndpoint
{
public:
    // Throws std::runtime_error when the terminal or the link cannot be made.
    explicit PtyEndpoint(std::string linkPath);
    ~PtyEndpoint();
    PtyEndpoint(const PtyEndpoint&) = delete;
    PtyEndpoint& operator=(const PtyEndpoint&) = delete;

    int Master() const { return master_.Get(); }
    const std::string& SlavePath() const { return slavePath_; }
    const std::string& LinkPath() const { return linkPath_; }

    // The device goes away: both ends close (the other side sees a hang-up) and the link goes.
    void Vanish();

private:
    void RemoveLink();

    UniqueFd master_;
    UniqueFd slave_;
    std::string slavePath_;
    std::string linkPath_;
    bool linked_ = false;
};

} // namespace printersim
