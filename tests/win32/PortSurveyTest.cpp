// The survey and the ports' claims under Wine, where COM3 and COM4 are a pseudo-terminal pair
// (wine-run.sh) and no other port exists.
#include "platform/PortSurvey.h"
#include "platform/DevicePath.h"
#include "platform/win32/PortLock.h"

#include <gtest/gtest.h>

TEST(PortSurvey, ListsThePortsThereAreWithoutOpeningThem)
{
    // Wine's device manager lists no port and its serial device list holds COM1 alone; the
    // ports linked in dosdevices (COM3, COM4) are known to nothing short of opening them.
    const PortSurvey survey;
    EXPECT_EQ(survey.Describe(*DevicePathFor("COM1")).What, PortDescription::Kind::Other);
    EXPECT_EQ(survey.Describe(*DevicePathFor("COM5")).What, PortDescription::Kind::Missing);
}

TEST(PortLock, SecondClaimIsRefusedAndNamesTheHolderUntilTheFirstEnds)
{
    {
        const PortLock first(QStringLiteral("COM3"), QStringLiteral("orvalenctl z"));
        ASSERT_TRUE(first.Held()) << first.Error();
        const PortLock second(QStringLiteral("com3"), QStringLiteral("orvalenctl status"));
        EXPECT_FALSE(second.Held());
        EXPECT_EQ(second.Error(), DWORD(ERROR_LOCK_VIOLATION));
        const std::optional<DeviceHolder> holder = PortLockHolder(QStringLiteral("COM3"));
        ASSERT_TRUE(holder);
        EXPECT_EQ(holder->Program, QStringLiteral("orvalenctl z"));
        EXPECT_EQ(holder->Pid, pid_t(GetCurrentProcessId()));
        EXPECT_TRUE(PortLock(QStringLiteral("COM4"), QStringLiteral("x")).Held());
    }
    EXPECT_FALSE(PortLockHolder(QStringLiteral("COM3")));
    EXPECT_TRUE(PortLock(QStringLiteral("COM3"), QStringLiteral("x")).Held());
}
