#include "Run.h"

#include "platform/PortSurvey.h"
#include "support/ComDir.h"
#include "support/PtyPair.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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

TEST(Ports, ListsTwentyPortsAndNamesTheProgramHoldingABusyOne)
{
    const ComDir comDir;
    const PtyPair held; // this test process keeps its slave open, as ModemManager would
    comDir.Link(2, held.Path());
    const QString self = QFileInfo(QCoreApplication::applicationFilePath()).fileName();

    const CtlRun json = RunCtl({"ports", "--json"});
    ASSERT_EQ(json.Status, 0) << json.Err.toStdString();
    const QJsonArray ports = QJsonDocument::fromJson(json.Out.toUtf8()).array();
    ASSERT_EQ(ports.size(), 20);
    const QJsonObject com1 = ports[0].toObject(), com2 = ports[1].toObject();
    EXPECT_EQ(com1["port"].toString(), "COM1");
    EXPECT_FALSE(com1["present"].toBool());
    EXPECT_EQ(com2["device"].toString().toLocal8Bit(), comDir.PathOf(2));
    EXPECT_EQ(com2["access"].toString(), "busy");
    EXPECT_EQ(com2["holders"].toArray()[0].toObject()["program"].toString(), self);

    const CtlRun text = RunCtl({"ports"});
    ASSERT_EQ(text.Status, 0);
    EXPECT_EQ(text.Out.count('\n'), 20);
    EXPECT_TRUE(text.Out.contains(QStringLiteral("busy: held by %1").arg(self)));
    EXPECT_TRUE(text.Err.contains("ModemManager")) << text.Err.toStdString();
}
