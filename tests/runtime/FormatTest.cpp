#include "runtime/Format.h"

#include <gtest/gtest.h>

TEST(Format, FillsPlaceholdersInOrder)
{
    EXPECT_EQ(Format("Write error (%d), %s", {5, "Input/output error"}),
              "Write error (5), Input/output error");
    EXPECT_EQ(Format("\\\\.\\COM%d", {12}), "\\\\.\\COM12");
    EXPECT_EQ(Format("Specified device not found (%s).", {QByteArray("\\\\.\\COM7")}),
              "Specified device not found (\\\\.\\COM7).");
}

TEST(Format, TextWithoutPlaceholdersIsUnchanged)
{
    EXPECT_EQ(Format("Can't perform this operation while port is open", {16, "busy"}),
              "Can't perform this operation while port is open");
    EXPECT_EQ(Format("100%% sure", {}), "100% sure");
}

TEST(Format, MissingOrMismatchedArgumentLeavesThePlaceholder)
{
    EXPECT_EQ(Format("a %d b %s", {}), "a %d b %s");
    EXPECT_EQ(Format("a %d", {"text"}), "a %d");
}

TEST(FormatDateTime, ShortDateAndLongTime)
{
    FormatSettings().ShortDateFormat = "dd/mm/yy";
    const TDateTime t = EncodeDate(2026, 12, 6) + EncodeTime(17, 5, 9, 0);
    EXPECT_EQ(FormatDateTime("dd/mm/yy", t), "06/12/26");
    EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", t), "2026-12-06 17:05:09.000");
    EXPECT_EQ(DateTimeToStr(t), "06/12/26 17:05:09");
    EXPECT_EQ(DateTimeToStr(EncodeDate(2026, 12, 6)), "06/12/26");
}
