#include "FrameReader.h"
#include "Wire.h"

#include <gtest/gtest.h>

using namespace printersim;

namespace {

using Kind = Received::Kind;

const std::string StatusFrame = BuildFrame('D', "\x80");
const std::string kZReport = BuildFrame('E', "9\x1CZ\x1CT");

std::vector<Received> FeedAll(FrameReader& reader, const std::vector<std::string>& pieces)
{
    std::vector<Received> all;
    for (const auto& piece : pieces)
        for (auto& r : reader.Feed(piece))
            all.push_back(std::move(r));
    return all;
}

} // namespace

TEST(WireTest, CheckDigitsAreUpperCaseAndNeverCut)
{
    EXPECT_EQ(CheckDigits(0x10000), "10000");
    EXPECT_EQ(StatusFrame, std::string("\x02\x44\x80\x03") + "00C9");
    EXPECT_EQ(kZReport.substr(kZReport.size() - 4), "0169");
}

TEST(FrameReaderTest, FrameSplitIntoSingleBytesIsReadWhole)
{
    FrameReader reader;
    std::vector<std::string> bytes;
    for (char c : kZReport)
        bytes.emplace_back(1, c);
    const auto got = FeedAll(reader, bytes);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].kind, Kind::Frame);
    EXPECT_EQ(got[0].seq, 'E');
    EXPECT_EQ(got[0].payload, "9\x1CZ\x1CT");
    EXPECT_EQ(got[0].raw, kZReport);
    EXPECT_FALSE(reader.InFrame());
}

TEST(FrameReaderTest, TwoFramesInOneReadGiveTwoFrames)
{
    FrameReader reader;
    const auto got = reader.Feed(StatusFrame + kZReport);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].payload, "\x80");
    EXPECT_EQ(got[1].payload, "9\x1CZ\x1CT");
}

TEST(FrameReaderTest, NoiseBeforeStxIsReportedApartFromTheFrame)
{
    FrameReader reader;
    const auto got = reader.Feed("\xFF\x41\x03" + StatusFrame);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].kind, Kind::Noise);
    EXPECT_EQ(got[0].raw, "\xFF\x41\x03");
    EXPECT_EQ(got[1].kind, Kind::Frame);
}

TEST(FrameReaderTest, ResetBytesOutsideAFrameComeAsOneEventButArePayloadInside)
{
    FrameReader reader;
    std::string reset;
    for (char c = 0x07; c <= 0x19; ++c)
        reset += c;
    auto got = reader.Feed(reset);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].kind, Kind::ResetByte);
    EXPECT_EQ(got[0].raw, reset);

    got = reader.Feed(BuildFrame('F', "I\x1C" + reset));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].kind, Kind::Frame);
    EXPECT_EQ(got[0].payload, "I\x1C" + reset);
}

TEST(FrameReaderTest, LargeSumNeedsFiveCheckDigits)
{
    const std::string payload = "I\x1C" + std::string(600, 'z'); // sum above 0x10000
    const std::string frame = BuildFrame('G', payload);
    ASSERT_EQ(frame.size(), payload.size() + 3 + 5);

    FrameReader reader;
    auto got = reader.Feed(frame);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].kind, Kind::Frame);

    // The same frame with the sum cut to four digits is not complete: the next byte is no digit.
    got = reader.Feed(frame.substr(0, frame.size() - 5) + frame.substr(frame.size() - 4) + "\x02");
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].kind, Kind::BadFrame);
    EXPECT_TRUE(reader.InFrame()); // the STX that cut it short starts a new frame
}

struct BadFrameCase
{
    const char* name;
    std::string bytes;
    std::string problemStart;
};

class FrameReaderBadFrame : public testing::TestWithParam<BadFrameCase>
{
};

TEST_P(FrameReaderBadFrame, IsRefusedAndTheNextFrameStillReads)
{
    FrameReader reader;
    const auto got = reader.Feed(GetParam().bytes + StatusFrame);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].kind, Kind::BadFrame);
    EXPECT_EQ(got[0].problem.rfind(GetParam().problemStart, 0), 0u) << got[0].problem;
    EXPECT_EQ(got[1].kind, Kind::Frame);
    EXPECT_EQ(got[1].payload, "\x80");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FrameReaderBadFrame,
    testing::Values(
        BadFrameCase{"WrongSum", std::string("\x02\x44\x80\x03") + "00C8", "bad check digits"},
        BadFrameCase{"CutShort", std::string("\x02\x44\x80\x03") + "00", "check digits cut"},
        BadFrameCase{"NoCommand", BuildFrame('D', ""), "no command"},
        BadFrameCase{"StxWhereTheSequenceByteGoes", "\x02", "bad sequence byte"},
        BadFrameCase{"TooLong", "\x02\x44" + std::string(FrameReader::MaxPayload + 1, 'x'),
                     "frame too long"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FrameReaderTest, AbandonDropsTheFrameUnderWay)
{
    FrameReader reader;
    EXPECT_FALSE(reader.Abandon());
    EXPECT_TRUE(reader.Feed(StatusFrame.substr(0, 3)).empty());
    ASSERT_TRUE(reader.InFrame());
    const auto dropped = reader.Abandon();
    ASSERT_TRUE(dropped);
    EXPECT_EQ(dropped->kind, Kind::BadFrame);
    EXPECT_EQ(dropped->raw, StatusFrame.substr(0, 3));
    const auto got = reader.Feed(StatusFrame);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].kind, Kind::Frame);
}
