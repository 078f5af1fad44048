#include "runtime/DateTime.h"
#include "runtime/TimeBase.h"
#include "support/ComputerClock.h"

#include <gtest/gtest.h>

TEST(DateTime, DayZeroAndKnownDates)
{
    EXPECT_DOUBLE_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_DOUBLE_EQ(EncodeDate(1900, 1, 1), 2.0);
    int y, m, d;
    DecodeDate(EncodeDate(2026, 12, 6), y, m, d);
    EXPECT_EQ(y, 2026);
    EXPECT_EQ(m, 12);
    EXPECT_EQ(d, 6);
}

TEST(DateTime, SplitsKeepTheDayJustBeforeMidnight)
{
    const TDateTime t = EncodeDate(2026, 12, 6) + EncodeTime(23, 59, 59, 999);
    int y, m, d, h, n, s, ms;
    DecodeDate(t, y, m, d);
    DecodeTime(t, h, n, s, ms);
    EXPECT_EQ(d, 6);
    EXPECT_EQ(h, 23);
    EXPECT_EQ(n, 59);
    EXPECT_EQ(s, 59);
    EXPECT_EQ(ms, 999);
}

TEST(DateTime, QtRoundTripAtMillisecondResolution)
{
    const QDateTime qt(QDate(2026, 12, 6), QTime(17, 5, 9, 123));
    EXPECT_EQ(DateTimeToQt(DateTimeFromQt(qt)), qt);
}

TEST(TimeBase, PinnedClockAndScaleRunTogether)
{
    TimeBase::SetNow(QDateTime(QDate(2026, 12, 6), QTime(17, 5, 9)));
    const TDateTime t0 = Now();
    EXPECT_NEAR(t0, EncodeDate(2026, 12, 6) + EncodeTime(17, 5, 9, 0), Seconds(0.5));
    TimeBase::SetScale(50);
    EXPECT_EQ(TimeBase::RealMs(1000), 20);
    EXPECT_EQ(TimeBase::RealMs(1), 1);
    TimeBase::SetScale(1);
    TimeBase::Reset();
}

// The program's clock is the computer's clock at every reading, also after it was set while the
// program runs, at real speed and sped up.
TEST(TimeBase, FollowsTheComputersClockWhenItIsSet)
{
    const QDateTime start(QDate(2026, 12, 6), QTime(17, 5, 9));
    ComputerClock computer(start);
    const auto near = [](TDateTime a, const QDateTime& b) {
        return std::abs(a - DateTimeFromQt(b)) < Seconds(0.5);
    };
    EXPECT_TRUE(near(Now(), start));
    computer.Shift(24 * 3600 * 1000);
    EXPECT_TRUE(near(Now(), start.addDays(1)));
    computer.Shift(-2 * 24 * 3600 * 1000);
    EXPECT_TRUE(near(Now(), start.addDays(-1)));

    TimeBase::SetScale(100);
    const TDateTime sped = Now();
    computer.Shift(3600 * 1000);
    EXPECT_NEAR((Now() - sped) * SecsPerDay, 3600, 10);
    TimeBase::SetScale(1);
}

TEST(TimeBase, TimeScaleOutsideTheSaneRangeIsIgnoredWithOneLine)
{
    for (const char* bad : {"inf", "-inf", "1e308", "1e-300", "nan", "-5", "0", "abc", "10x"}) {
        QString warning;
        EXPECT_FALSE(TimeBase::ScaleFromText(bad, &warning)) << bad;
        EXPECT_TRUE(warning.contains(QLatin1String("ORVALEN_TIME_SCALE"))) << bad;
        EXPECT_FALSE(warning.contains(QLatin1Char('\n'))) << bad;
    }
    EXPECT_EQ(TimeBase::ScaleFromText("25", nullptr), 25.0);
    EXPECT_EQ(TimeBase::ScaleFromText(" 0.5 ", nullptr), 0.5);

    // The same range holds for tests that set the speed-up directly.
    TimeBase::SetScale(1e308);
    EXPECT_EQ(TimeBase::Scale(), 1.0);
}
