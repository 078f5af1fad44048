#include "app/PlatformHelp.h"

QString PortsHelp()
{
    return QStringLiteral(
        "Ports (searched in this order):\n"
        "  COM1-COM20   \\\\.\\COM1-\\\\.\\COM20        the serial ports Windows knows, "
        "USB-to-serial\n"
        "                                          adapters included (Device Manager names them)\n"
        "\n");
}

QString EnvironmentHelp()
{
    return QStringLiteral(
        "Environment:\n"
        "  ORVALEN_TIME_SCALE  for tests only: run the clock and the timers that many times\n"
        "                      faster (the time sent to the printer is then wrong)\n"
        "  ORVALEN_COM_DIR is a Linux feature and has no effect here. Under Wine, the links\n"
        "  com1..com20 in the prefix's dosdevices folder choose the device behind each port.\n");
}
