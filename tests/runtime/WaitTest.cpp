#include "runtime/Wait.h"
#include "runtime/TimeBase.h"
#include "runtime/Timer.h"
#include "support/ComputerClock.h"

#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

class WaitTest : public ::testing::Test
{
protected:
    void SetUp() override { TimeBase::SetScale(100); }
    void TearDown() override { TimeBase::SetScale(1); }
};

TEST_F(WaitTest, DeadlineOnTheSpedUpClock)
{
    const TDateTime start = Now();
    QElapsedTimer real;
    real.start();
    EXPECT_FALSE(WaitUntil(start + Seconds(30)));
    EXPECT_GE(Now() - start, Seconds(30));
    // 30 s of program time at x100 is 0.3 s of real time; allow a slow machine.
    EXPECT_LT(real.elapsed(), 3000);
}

TEST_F(WaitTest, TimerTicksRunDuringTheWaitAndEndIt)
{
    TTimer timer;
    timer.SetInterval(1000);
    int ticks = 0;
    timer.OnTimer = [&](QObject*) { ++ticks; };
    const TDateTime start = Now();
    EXPECT_TRUE(WaitUntil(start + Seconds(30), [&] { return ticks >= 3; }));
    const double waited = (Now() - start) * SecsPerDay;
    EXPECT_GE(waited, 2.9);
    EXPECT_LT(waited, 10);
}

TEST_F(WaitTest, DisabledTimerDoesNotTick)
{
    TTimer timer;
    timer.SetEnabled(false);
    int ticks = 0;
    timer.OnTimer = [&](QObject*) { ++ticks; };
    WaitUntil(Now() + Seconds(3));
    EXPECT_EQ(ticks, 0);
}

// A clock set forward or back (or a daylight-saving change) in the middle of a wait changes
// neither its end nor its length: 30 s at x100 stays about 0.3 s of real time.
TEST_F(WaitTest, SettingTheClockDuringAWaitKeepsItsLength)
{
    for (const qint64 shiftMs : {qint64(3600 * 1000), qint64(-3600 * 1000)}) {
        ComputerClock computer(QDateTime(QDate(2026, 10, 25), QTime(2, 59, 59)));
        QTimer::singleShot(50, [&] { computer.Shift(shiftMs); });
        QElapsedTimer real;
        real.start();
        // A stretched wait gives up after 5 s of real time instead of an hour.
        EXPECT_FALSE(WaitUntil(Now() + Seconds(30), [&] { return real.elapsed() > 5000; }))
            << shiftMs;
        EXPECT_GE(real.elapsed(), 300) << shiftMs;
        EXPECT_LT(real.elapsed(), 3000) << shiftMs;
    }
}
