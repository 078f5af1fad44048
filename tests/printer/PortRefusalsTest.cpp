#include "printer/PortRefusals.h"
#include "serial/VaComm.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

// COM numbers stand for the usual device files here.
std::optional<PortRefusal> Refusal(const char* com, int systemError)
{
    qunsetenv("ORVALEN_COM_DIR");
    return RefusalOf(QString::fromLatin1(com),
                     EVaCommError(QStringLiteral("Error %1").arg(systemError), systemError));
}

} // namespace

// Nodes without a device behind them (the ttyS ports of a PC without them) are missing ports,
// not refusals: reporting them would bury the one that matters.
TEST(PortRefusals, MissingDevicesAreNoRefusal)
{
    for (int error : {ENOENT, ENODEV, ENXIO, EIO})
        EXPECT_FALSE(Refusal("COM1", error).has_value()) << error;
    EXPECT_FALSE(Refusal("COM21", EACCES).has_value()) << "COM21 has no device file";
}

TEST(PortRefusals, OtherFailuresAreReportedWithThePortsOwnTextButNeedNoBox)
{
    const std::optional<PortRefusal> refusal = Refusal("COM13", ENOTTY);
    ASSERT_TRUE(refusal.has_value());
    EXPECT_EQ(RefusalLine(*refusal),
              QStringLiteral("orvalen: COM13 (/dev/ttyACM0): Error %1").arg(ENOTTY));
    EXPECT_TRUE(RefusalAdvice({*refusal}, QStringLiteral("ana")).isEmpty());
}

TEST(PortRefusals, AdviceListsEveryRefusedDeviceAndJoinsAllTheirGroupsInOneCommand)
{
    const auto refused = [](const char* com, const char* device, PortRefusal::Reason why) {
        PortRefusal refusal;
        refusal.ComName = QString::fromLatin1(com);
        refusal.DevicePath = device;
        refusal.Why = why;
        return refusal;
    };
    PortRefusal usb = refused("COM5", "/dev/ttyUSB0", PortRefusal::Reason::Permission);
    usb.Group = QStringLiteral("dialout");
    PortRefusal acm = refused("COM13", "/dev/ttyACM0", PortRefusal::Reason::Permission);
    acm.Group = QStringLiteral("uucp");
    PortRefusal held = refused("COM6", "/dev/ttyUSB1", PortRefusal::Reason::Busy);
    held.Holders = {{812, QStringLiteral("ModemManager")}};
    const QString advice = RefusalAdvice({usb, held, acm}, QStringLiteral("ana"));
    for (const QString& part :
         {QStringLiteral("COM5 (/dev/ttyUSB0)"), QStringLiteral("COM13 (/dev/ttyACM0)"),
          QStringLiteral("sudo usermod -aG dialout,uucp ana\n"),
          QStringLiteral("COM6 (/dev/ttyUSB1): ModemManager (pid 812)")})
        EXPECT_TRUE(advice.contains(part)) << part.toStdString() << "\n" << advice.toStdString();
    EXPECT_EQ(RefusalLine(held),
              QStringLiteral("orvalen: COM6 (/dev/ttyUSB1): busy: held by ModemManager (pid 812)"));
}
