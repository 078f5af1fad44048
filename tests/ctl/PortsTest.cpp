#include "Run.h"

#include "platform/PortSurvey.h"
#include "support/ComDir.h"
#include "support/PtyPair.h"
#include "support/SimProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

void Write(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

void Link(const QString& target, const QString& link)
{
    QDir().mkpath(QFileInfo(link).absolutePath());
    ASSERT_TRUE(QFile::link(target, link));
}

// A machine as sysfs and /dev show it: a 16550A on ttyS0, a ttyS1 without hardware, an FTDI
// adapter on ttyUSB0 with its by-id link, and a USB printer.
class FakeMachine
{
public:
    FakeMachine()
    {
        const QString sys = Sys(), dev = Dev();
        Write(sys + "/class/tty/ttyS0/type", "4\n");
        Link(sys + "/bus/platform/drivers/serial8250", sys + "/class/tty/ttyS0/device/driver");
        Write(sys + "/class/tty/ttyS1/type", "0\n");
        const QString usb = sys + "/devices/pci0000:00/usb1/1-1";
        Write(usb + "/idVendor", "0403\n");
        Write(usb + "/idProduct", "6001\n");
        Write(usb + "/manufacturer", "FTDI\n");
        Write(usb + "/product", "FT232R USB UART\n");
        QDir().mkpath(usb + "/1-1:1.0/ttyUSB0");
        Link(sys + "/bus/usb-serial/drivers/ftdi_sio", usb + "/1-1:1.0/ttyUSB0/driver");
        QDir().mkpath(sys + "/bus/usb-serial/drivers/ftdi_sio");
        QDir().mkpath(sys + "/bus/platform/drivers/serial8250");
        Link(usb + "/1-1:1.0/ttyUSB0", sys + "/class/tty/ttyUSB0/device");
        for (const char* node : {"ttyS0", "ttyS1", "ttyUSB0", "usb/lp0"})
            Write(dev + "/" + node, "");
        Link("../../ttyUSB0", dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0");
    }
    QString Sys() const { return root_.path() + "/sys"; }
    QString Dev() const { return root_.path() + "/dev"; }

private:
    QTemporaryDir root_;
};

} // namespace

TEST(Ports, TheSurveyTellsUartsAdaptersAndPrintersApartFromSysfs)
{
    const FakeMachine machine;
    const PortSurvey survey(machine.Sys(), machine.Dev());

    const PortDescription uart = survey.Describe("/dev/ttyS0");
    EXPECT_EQ(uart.What, PortDescription::Kind::Uart);
    EXPECT_EQ(uart.UartType, "16550A");
    EXPECT_EQ(uart.Driver, "serial8250");

    EXPECT_EQ(survey.Describe("/dev/ttyS1").What, PortDescription::Kind::NoUart);
    EXPECT_EQ(survey.Describe("/dev/ttyS2").What, PortDescription::Kind::Missing);

    const PortDescription adapter = survey.Describe("/dev/ttyUSB0");
    EXPECT_EQ(adapter.What, PortDescription::Kind::Usb);
    EXPECT_EQ(adapter.Driver, "ftdi_sio");
    EXPECT_EQ(adapter.UsbId, "0403:6001");
    EXPECT_EQ(adapter.Maker, "FTDI");
    EXPECT_EQ(adapter.Product, "FT232R USB UART");
    EXPECT_EQ(adapter.ById, "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0");
    EXPECT_EQ(adapter.Open, PortDescription::Access::Usable);

    EXPECT_EQ(survey.UsbPrinterNodes(), QList<QByteArray>{"/dev/usb/lp0"});
}

// `ports --json` (or the table) as a user runs it, with what `config` remembers.
CtlRun Ports(const QTemporaryDir& config, bool json = true)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", config.path());
    return RunCtl(json ? QStringList{"ports", "--json"} : QStringList{"ports"}, environment);
}
QJsonArray PortsJson(const QTemporaryDir& config)
{
    return QJsonDocument::fromJson(Ports(config).Out.toUtf8()).array();
}

TEST(Ports, ListsTwentyPortsAndNamesTheProgramHoldingABusyOne)
{
    const ComDir comDir;
    const PtyPair held;
    QProcess holder; // holds the slave open, as ModemManager would
    holder.setStandardInputFile(QString::fromLocal8Bit(held.Path()));
    holder.start(QStringLiteral("sleep"), {QStringLiteral("60")});
    ASSERT_TRUE(holder.waitForStarted());
    const auto stop = qScopeGuard([&] {
        holder.kill();
        holder.waitForFinished();
    });
    comDir.Link(2, held.Path());
    // The demo's printer holds both ends of its pseudo-terminal: it serves the line.
    const SimProcess printer(comDir.PathOf(3).toStdString(), {});
    ASSERT_TRUE(printer.Ready());
    const QTemporaryDir config;

    const QJsonArray ports = PortsJson(config);
    ASSERT_EQ(ports.size(), 20);
    const QJsonObject com1 = ports[0].toObject(), com2 = ports[1].toObject();
    EXPECT_EQ(com1["port"].toString(), "COM1");
    EXPECT_FALSE(com1["present"].toBool());
    EXPECT_EQ(com2["device"].toString().toLocal8Bit(), comDir.PathOf(2));
    EXPECT_EQ(com2["access"].toString(), "busy");
    EXPECT_EQ(com2["holders"].toArray()[0].toObject()["program"].toString(), "sleep");
    EXPECT_EQ(ports[2].toObject()["access"].toString(), "ok");

    const CtlRun text = Ports(config, false);
    ASSERT_EQ(text.Status, 0);
    EXPECT_EQ(text.Out.count('\n'), 20);
    EXPECT_TRUE(text.Out.contains(QStringLiteral("busy: held by sleep")));
    EXPECT_TRUE(text.Err.contains("ModemManager")) << text.Err.toStdString();
}

TEST(Ports, WhatIsNoTerminalIsNotASerialPort)
{
    const ComDir comDir;
    const QTemporaryDir dir;
    const QByteArray fifo = QFile::encodeName(dir.filePath("fifo"));
    ASSERT_EQ(mkfifo(fifo.constData(), 0600), 0);
    comDir.Link(1, "/dev/null");
    comDir.Link(2, fifo);
    comDir.Link(3, QFile::encodeName(QCoreApplication::applicationFilePath()));

    const QJsonArray ports = PortsJson(dir);
    for (int com = 0; com < 3; ++com) {
        EXPECT_EQ(ports[com].toObject()["kind"].toString(), "not-serial") << com;
        EXPECT_EQ(ports[com].toObject()["access"].toString(), "none") << com;
    }
    EXPECT_EQ(Ports(dir, false).Out.count("not a serial port"), 3);
}

TEST(Ports, TheRememberedPrinterIsMarked)
{
    const ComDir comDir;
    const PtyPair pty;
    comDir.Link(4, pty.Path());
    const QTemporaryDir config;
    const auto remember = [&](const QByteArray& port) {
        Write(config.filePath("orvalen/orvalenctl.ini"),
              "[printer]\nport=" + port + "\nserial=ABC1234567\n");
    };
    remember("COM4");
    EXPECT_EQ(PortsJson(config)[3].toObject()["serial"].toString(), "ABC1234567");
    EXPECT_TRUE(Ports(config, false).Out.contains("remembered printer (serial ABC1234567)"));
    remember(pty.Path()); // `find --device`: another path to the same device
    EXPECT_TRUE(PortsJson(config)[3].toObject()["remembered"].toBool());
    remember("/dev/serial/by-id/orvalen-gone");
    EXPECT_TRUE(Ports(config, false).Out.contains("is on /dev/serial/by-id/orvalen-gone"));
}
