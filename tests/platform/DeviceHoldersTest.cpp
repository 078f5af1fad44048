#include "platform/DeviceHolders.h"
#include "support/ComDir.h"
#include "support/PtyPair.h"

#include <QProcess>
#include <QTemporaryFile>

#include <gtest/gtest.h>

namespace {

TEST(DeviceHolders, NamesAnotherProcessThatHoldsTheDeviceByAnyPathToIt)
{
    PtyPair pty;
    ASSERT_TRUE(pty.IsOpen());
    ComDir com;
    com.Link(3, pty.Path());
    EXPECT_TRUE(OtherHoldersOf(com.PathOf(3)).isEmpty())
        << "this process holds the slave itself and is left out";

    QProcess holder;
    holder.setStandardInputFile(QString::fromLocal8Bit(pty.Path()));
    holder.start(QStringLiteral("sleep"), {QStringLiteral("60")});
    ASSERT_TRUE(holder.waitForStarted());
    const pid_t pid = pid_t(holder.processId());
    const QList<DeviceHolder> holders = OtherHoldersOf(com.PathOf(3));
    holder.kill();
    holder.waitForFinished();

    ASSERT_EQ(holders.size(), 1);
    EXPECT_EQ(holders[0].Pid, pid);
    EXPECT_EQ(holders[0].Program, QStringLiteral("sleep"));
}

TEST(DeviceHolders, WhatIsNoCharacterDeviceHasNoHolders)
{
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    EXPECT_TRUE(OtherHoldersOf(file.fileName().toLocal8Bit()).isEmpty());
    EXPECT_TRUE(OtherHoldersOf(QByteArray("/dev/orvalen-no-such-port")).isEmpty());
}

} // namespace
