#pragma once

#include "platform/DeviceHolders.h"

#include <QByteArray>
#include <QList>
#include <QString>

// What stands behind one serial device file, read from sysfs and /proc without opening the
// device: opening a real UART, even only for reading, raises its DTR line and may start a
// printer or a modem, and changing nothing is the point of a survey.
struct PortDescription
{
    enum class Kind
    {
        Missing,  // no device file
        Uart,     // an on-board 16550-style port with a UART behind it
        NoUart,   // a ttyS node the kernel made without hardware behind it (type 0, unknown)
        Usb,      // a USB adapter (ttyUSB, ttyACM)
        Other,    // a device sysfs does not describe (a pseudo-terminal, a link elsewhere)
        NotSerial // no terminal at all: a regular file, a FIFO, /dev/null
    };
    enum class Access
    {
        Unknown, // missing, no UART or not a serial port: nothing to open
        Usable,
        PermissionDenied,
        Busy
    };

    QByteArray Device; // the path asked about ("/dev/ttyS1", "$ORVALEN_COM_DIR/com2")
    Kind What = Kind::Missing;
    QString UartType;     // Uart: "16550A", or "type 12" for one without a common name
    QString Driver;       // the tty device's driver: "serial8250", "ftdi_sio", "cdc_acm"
    QString UsbId;        // Usb: "0403:6001"
    QString Maker;        // Usb: the device's manufacturer string
    QString Product;      // Usb: the device's product string
    QString FriendlyName; // Windows: the name the device manager shows ("USB Serial Port (COM5)")
    QByteArray ById;      // Usb: the /dev/serial/by-id link that points at it
    Access Open = Access::Unknown;
    QString Group;               // PermissionDenied: the device's group, the one to join
    QList<DeviceHolder> Holders; // Busy: the programs that have it open, as /proc shows them
};

// Reads the machine's description of its serial devices. The roots stand in for /sys and /dev
// so that a test can lay out a machine of its own.
class PortSurvey
{
public:
    explicit PortSurvey(QString sysRoot = QStringLiteral("/sys"),
                        QString devRoot = QStringLiteral("/dev"))
        : sysRoot_(std::move(sysRoot)), devRoot_(std::move(devRoot))
    {
    }

    PortDescription Describe(const QByteArray& device) const;

    // The USB printer nodes (/dev/usb/lp0...): printers that have no serial port to offer.
    QList<QByteArray> UsbPrinterNodes() const;

private:
    QString Local(const QByteArray& device) const;
    bool IsTerminal(const QString& path) const;
    void DescribeUsb(const QString& ttyDir, PortDescription& port) const;
    QByteArray ByIdLinkTo(const QString& target) const;

    QString sysRoot_;
    QString devRoot_;
};
