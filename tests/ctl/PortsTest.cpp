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

// `ports` as a user runs it, with nothing remembered unless the test writes it.
class PortsRun
{
public:
    PortsRun() { environment_.insert("XDG_CONFIG_HOME", config_.path()); }
    CtlRun operator()(const QStringList& arguments) const
    {
        return RunCtl(arguments, environment_);
    }
    QJsonArray Json() const
    {
        return QJsonDocument::fromJson((*this)({"ports", "--json"}).Out.toUtf8()).array();
    }
    void Remember(const QByteArray& port, const QByteArray& serial) const
    {
        Write(config_.filePath("orvalen/orvalenctl.ini"),
              "[printer]\nport=" + port + "\nserial=" + serial + "\n");
    }

private:
    QTemporaryDir config_;
    QProcessEnvironment environment_ = QProcessEnvironment::systemEnvironment();
};

// The line of one COM number in the table.
QString LineOf(const QString& table, int com)
{
    for (const QString& line : table.split(QLatin1Char('\n')))
        if (line.startsWith(QStringLiteral("COM%1 ").arg(com)))
            return line;
    return {};
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
    const PortsRun ports;

    const QJsonArray json = ports.Json();
    ASSERT_EQ(json.size(), 20);
    const QJsonObject com1 = json[0].toObject(), com2 = json[1].toObject();
    EXPECT_EQ(com1["port"].toString(), "COM1");
    EXPECT_FALSE(com1["present"].toBool());
    EXPECT_EQ(com2["device"].toString().toLocal8Bit(), comDir.PathOf(2));
    EXPECT_EQ(com2["access"].toString(), "busy");
    EXPECT_EQ(com2["holders"].toArray()[0].toObject()["program"].toString(), "sleep");
    EXPECT_EQ(json[2].toObject()["access"].toString(), "ok");

    const CtlRun text = ports({"ports"});
    ASSERT_EQ(text.Status, 0);
    EXPECT_EQ(text.Out.count('\n'), 20);
    EXPECT_TRUE(LineOf(text.Out, 2).contains("busy: held by sleep")) << text.Out.toStdString();
    EXPECT_TRUE(LineOf(text.Out, 3).endsWith("this user can open it")) << text.Out.toStdString();
    EXPECT_TRUE(text.Err.contains("ModemManager")) << text.Err.toStdString();
}

TEST(Ports, WhatIsNoTerminalIsNotASerialPort)
{
    const ComDir comDir;
    QTemporaryDir dir;
    const QByteArray file = QFile::encodeName(dir.filePath("file"));
    const QByteArray fifo = QFile::encodeName(dir.filePath("fifo"));
    Write(QFile::decodeName(file), "");
    ASSERT_EQ(mkfifo(fifo.constData(), 0600), 0);
    comDir.Link(1, "/dev/null");
    comDir.Link(2, file);
    comDir.Link(3, fifo);

    const QJsonArray json = PortsRun().Json();
    const CtlRun text = PortsRun()({"ports"});
    for (int com = 1; com <= 3; ++com) {
        EXPECT_EQ(json[com - 1].toObject()["kind"].toString(), "not-serial") << com;
        EXPECT_EQ(json[com - 1].toObject()["access"].toString(), "none") << com;
        EXPECT_TRUE(LineOf(text.Out, com).endsWith("not a serial port")) << text.Out.toStdString();
    }
}

TEST(Ports, TheRememberedPrinterIsMarked)
{
    const ComDir comDir;
    const PtyPair pty;
    comDir.Link(4, pty.Path());
    const PortsRun ports;
    ports.Remember("COM4", "ABC1234567");
    QJsonArray json = ports.Json();
    EXPECT_TRUE(json[3].toObject()["remembered"].toBool());
    EXPECT_EQ(json[3].toObject()["serial"].toString(), "ABC1234567");
    EXPECT_FALSE(json[2].toObject()["remembered"].toBool());
    EXPECT_TRUE(
        LineOf(ports({"ports"}).Out, 4).endsWith("; the remembered printer (serial ABC1234567)"));

    // Remembered by another path to the same device (`find --device`).
    ports.Remember(pty.Path(), "ABC1234567");
    EXPECT_TRUE(ports.Json()[3].toObject()["remembered"].toBool());
    ports.Remember("/dev/serial/by-id/orvalen-gone", "ABC1234567");
    EXPECT_TRUE(ports({"ports"}).Out.contains("is on /dev/serial/by-id/orvalen-gone"));
}
