#pragma once

#include "Endpoint.h"
#include "platform/UniqueFd.h"

#include <string>
#include <termios.h>

namespace printersim {

// The line settings of a device the simulator serves.
struct LineFormat
{
    int baud = 9600;
    int dataBits = 8;
    char parity = 'N'; // N, E or O
    int stopBits = 1;
};

// The termios speed for a baud rate, or B0 when the rate is not one the kernel names.
speed_t SpeedFor(int baud);

// An existing serial device (a real port, a USB adapter, a pty slave), opened exclusively and
// configured raw with the given format and no flow control, modem lines ignored.
class DeviceEndpoint : public Endpoint
{
public:
    // Throws std::runtime_error when the device cannot be opened or configured.
    DeviceEndpoint(std::string path, const LineFormat& format);
    ~DeviceEndpoint() override;
    DeviceEndpoint(const DeviceEndpoint&) = delete;
    DeviceEndpoint& operator=(const DeviceEndpoint&) = delete;

    int Fd() const override { return fd_.Get(); }
    std::string Describe() const override;
    void Vanish() override;

private:
    void Release();

    UniqueFd fd_;
    std::string path_;
    LineFormat format_;
    termios saved_{};
    bool restore_ = false;
};

} // namespace printersim
