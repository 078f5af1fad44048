#include "printer/Frame.h"
#include "printer/Sequence.h"

#include <gtest/gtest.h>

namespace {

QByteArray Bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

} // namespace

TEST(FrameTest, ZReportWithSequence68)
{
    const QByteArray payload = Bytes({'9', 0x1C, 'Z', 0x1C, 'T'});
    EXPECT_EQ(BuildFrame(68, payload),
              Bytes({0x02, 0x44, 0x39, 0x1C, 0x5A, 0x1C, 0x54, 0x03}) + "0168");
}

TEST(FrameTest, StatusRequestHasUpperCaseDigits)
{
    EXPECT_EQ(BuildFrame(68, Bytes({0x80})), Bytes({0x02, 0x44, 0x80, 0x03}) + "00C9");
}

TEST(FrameTest, SequenceByteIsTheLowByte)
{
    EXPECT_EQ(BuildFrame(0x144, "H").at(1), char(0x44));
}

TEST(FrameTest, CheckDigitsPadAndGrowPast16Bits)
{
    struct Case
    {
        quint32 sum;
        const char* digits;
    } cases[] = {{0, "0000"},      {0xC9, "00C9"},     {0xABCD, "ABCD"},
                 {0xFFFF, "FFFF"}, {0x10000, "10000"}, {0x1A2B3, "1A2B3"}};
    for (const Case& c : cases)
        EXPECT_EQ(CheckDigits(c.sum), QByteArray(c.digits)) << c.sum;
}

TEST(FrameTest, LongPayloadGivesFiveCheckDigits)
{
    // 300 bytes of 0xFF push the sum past 0xFFFF; the sum is never cut to 16 bits.
    const QByteArray payload(300, char(0xFF));
    const QByteArray frame = BuildFrame(68, payload);
    const quint32 sum = 0x02 + 0x44 + 300 * 0xFF + 0x03;
    EXPECT_EQ(frame.size(), 1 + 1 + 300 + 1 + 5);
    EXPECT_EQ(frame.right(5), QByteArray::number(sum, 16).toUpper());
}

class SequenceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SetSecuencia(0);
        SetRandomState(0);
    }
};

TEST_F(SequenceTest, FirstDrawsFromAFreshGenerator)
{
    const int expected[] = {0, 2, 68, 16, 21, 53};
    for (int value : expected)
        EXPECT_EQ(Random(80), value);
}

TEST_F(SequenceTest, FirstFramesAfterStart)
{
    // 68, 69, 70, then the fourth draw (16) is out of range and the fifth and sixth give 53.
    const qint32 expected[] = {0x44, 0x45, 0x46, 0x35, 0x36};
    for (qint32 value : expected)
        EXPECT_EQ(SiguienteSecuencia(), value);
    EXPECT_EQ(Secuencia(), 0x36);
}

TEST_F(SequenceTest, SeventyIsUsedThenAFreshDraw)
{
    SetSecuencia(69);
    EXPECT_EQ(SiguienteSecuencia(), 70);
    const quint32 seedBefore = RandomState();
    const qint32 next = SiguienteSecuencia();
    EXPECT_NE(RandomState(), seedBefore); // drawn, not 71
    EXPECT_GE(next, 32);
    EXPECT_LE(next, 70);
}

TEST_F(SequenceTest, AlwaysWithinRange)
{
    SetSecuencia(std::numeric_limits<qint32>::max());
    for (int i = 0; i < 1000; ++i) {
        const qint32 value = SiguienteSecuencia();
        ASSERT_GE(value, 32);
        ASSERT_LE(value, 70);
    }
}
