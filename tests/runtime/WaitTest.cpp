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
    // 30 s of program time at x100 is 0.3 s of real time; a wait on the real clock would take
    // 30 s. Half of that leaves room for a loaded machine and still tells the two apart.
    EXPECT_LT(real.elapsed(), 15000);
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
        // A stretched wait gives up after 60 s of real time instead of an hour; a loaded machine
        // may take a few seconds for the 0.3 s.
        EXPECT_FALSE(WaitUntil(Now() + Seconds(30), [&] { return real.elapsed() > 60000; }))
            << shiftMs;
        EXPECT_GE(real.elapsed(), 300) << shiftMs;
    }
}
