#pragma once

#include <QByteArray>

#include <optional>

// Turns the name a user knows ("COM7", "\\.\COM7") into the device file that stands for it here.
//
// With ORVALEN_COM_DIR set, COMn is "$ORVALEN_COM_DIR/comn" and nothing else, so a test or a
// simulator can lay out its own ports. Otherwise COM1-COM4 are the on-board UARTs /dev/ttyS0-3,
// COM5-COM12 the USB adapters /dev/ttyUSB0-7 and COM13-COM20 the CDC modems /dev/ttyACM0-7.
// A name that is already an absolute path is used as it stands. Any other name has no device:
// the caller reports it as "does not exist" (ENOENT).
std::optional<QByteArray> DevicePathFor(const QByteArray& name);
