#include "runtime/DateTime.h"
#include "runtime/TimeBase.h"

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
