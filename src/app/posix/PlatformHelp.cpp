#include "app/PlatformHelp.h"

QString PortsHelp()
{
    return QStringLiteral(
        "Ports (searched in this order):\n"
        "  COM1-COM4    /dev/ttyS0-/dev/ttyS3      serial ports on the board or a card\n"
        "  COM5-COM12   /dev/ttyUSB0-/dev/ttyUSB7  USB-to-serial adapters\n"
        "  COM13-COM20  /dev/ttyACM0-/dev/ttyACM7  devices that present themselves as a modem\n"
        "\n");
}

QString EnvironmentHelp()
{
    return QStringLiteral(
        "Environment:\n"
        "  ORVALEN_COM_DIR     a folder of links com1..com20: COMn opens $ORVALEN_COM_DIR/comn\n"
        "                      and the device files above are not used\n"
        "  ORVALEN_TIME_SCALE  for tests only: run the clock and the timers that many times\n"
        "                      faster (the time sent to the printer is then wrong)\n"
        "\n"
        "Permissions:\n"
        "  Serial devices belong to the group dialout. Add your user to it once, then log out\n"
        "  and in again:  sudo usermod -aG dialout $USER\n");
}
