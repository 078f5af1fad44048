#include "SimHarness.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <unistd.h>

namespace {

const std::string kStatus = Frame('D', "\x80");

bool HasValidCheck(const std::string& reply)
{
    const auto etx = reply.find('\x03');
    if (etx == std::string::npos || reply.size() != etx + 5)
        return false;
    unsigned sum = 0;
    for (std::size_t i = 0; i <= etx; ++i)
        sum += static_cast<unsigned char>(reply[i]);
    char digits[16];
    std::snprintf(digits, sizeof digits, "%04X", sum);
    return reply.substr(etx + 1) == digits;
}

// CPU time (user + system) of a process in clock ticks.
long CpuTicks(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14)
            utime = std::stol(field);
        if (i == 15) {
            stime = std::stol(field);
            break;
        }
    }
    return utime + stime;
}

class SimTest : public testing::Test
{
protected:
    std::string LinkPath() const { return dir_.Path() + "/com3"; }

    // Starts the simulator and opens the line to it.
    void Start(const std::vector<std::string>& options = {})
    {
        sim_ = std::make_unique<SimProcess>(LinkPath(), options);
        ASSERT_TRUE(sim_->Ready()) << sim_->ReadyLine();
        line_ = std::make_unique<Line>(LinkPath());
        ASSERT_TRUE(line_->IsOpen());
    }

    TempDir dir_;
    std::unique_ptr<SimProcess> sim_;
    std::unique_ptr<Line> line_;
};

} // namespace

TEST_F(SimTest, StatusReplyCarriesSerialAtCharacters16To25AndTheSequenceByte)
{
    Start({"--serial", "ABC1234567"});
    for (char seq : {'D', 'E', '5'}) {
        line_->Write(Frame(seq, "\x80"));
        const auto reply = line_->ReadReply();
        ASSERT_GE(reply.size(), 25u);
        EXPECT_EQ(reply[0], '\x02');
        EXPECT_EQ(reply[1], seq);
        EXPECT_EQ(reply.substr(15, 10), "ABC1234567");
        EXPECT_TRUE(HasValidCheck(reply)) << reply;
    }
}

TEST_F(SimTest, BadCheckDigitsGetANakAndTheNextFrameIsAnswered)
{
    Start();
    line_->Write(std::string("\x02\x44\x80\x03") + "00C8");
    EXPECT_EQ(line_->ReadReply(), "\x15");
    line_->Write(std::string("\x02\x44\x80\x03") + "00c9");
    EXPECT_EQ(line_->ReadReply(), "\x15");
    line_->Write(kStatus);
    EXPECT_TRUE(HasValidCheck(line_->ReadReply()));
}

TEST_F(SimTest, OnlyAnImpossibleDateGetsErro)
{
    Start();
    line_->Write(Frame('F', "X\x1C"
                            "261306\x1C"
                            "170509"));
    const auto refused = line_->ReadReply();
    EXPECT_TRUE(HasValidCheck(refused)) << refused;
    EXPECT_NE(refused.find("ERRO"), std::string::npos) << refused;

    line_->Write(Frame('G', "X\x1C"
                            "261206\x1C"
                            "170509"));
    const auto accepted = line_->ReadReply();
    EXPECT_TRUE(HasValidCheck(accepted)) << accepted;
    EXPECT_EQ(accepted.find("ERRO"), std::string::npos) << accepted;
}

TEST_F(SimTest, ResetBytesGetNoReplyAndAreLogged)
{
    Start();
    std::string reset;
    for (char c = 0x07; c <= 0x19; ++c)
        reset += c;
    line_->Write(reset);
    EXPECT_EQ(line_->ReadFor(400), "");
    line_->Write(kStatus);
    EXPECT_TRUE(HasValidCheck(line_->ReadReply()));
    EXPECT_NE(sim_->Log(500).find("reset bytes"), std::string::npos);
}

TEST_F(SimTest, ClosingAndReopeningThePortKeepsTheLineAlive)
{
    Start();
    line_->Write(kStatus);
    EXPECT_TRUE(HasValidCheck(line_->ReadReply()));
    line_->Close();
    line_ = std::make_unique<Line>(LinkPath());
    ASSERT_TRUE(line_->IsOpen());
    line_->Write(kStatus);
    EXPECT_TRUE(HasValidCheck(line_->ReadReply()));
}

TEST_F(SimTest, AFrameLeftIncompleteIsDroppedSoTheNextOneReadsCleanly)
{
    Start({"--time-scale", "10"}); // gives up after 200 ms of silence
    line_->Write(kStatus.substr(0, 3));
    EXPECT_EQ(line_->ReadFor(600), "");
    line_->Write(kStatus);
    const auto reply = line_->ReadReply();
    EXPECT_TRUE(HasValidCheck(reply)) << reply;
}

TEST_F(SimTest, SilentNeverAnswers)
{
    Start({"--silent"});
    line_->Write(kStatus);
    line_->Write(std::string("\x02\x44\x80\x03") + "0000");
    EXPECT_EQ(line_->ReadFor(700), "");
}

TEST_F(SimTest, DelayHoldsTheReplyBack)
{
    Start({"--delay", "2000", "--time-scale", "4"}); // 500 ms
    line_->Write(kStatus);
    EXPECT_EQ(line_->ReadFor(250), "");
    EXPECT_TRUE(HasValidCheck(line_->ReadReply(5000)));
}

TEST_F(SimTest, PiecesArriveSeparately)
{
    Start({"--pieces", "3", "--time-scale", "4"}); // 300 ms between pieces
    line_->Write(kStatus);
    const auto reply = line_->ReadReply(5000);
    EXPECT_TRUE(HasValidCheck(reply)) << reply;
    const auto& chunks = line_->Chunks();
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[0].bytes.find('\x03'), std::string::npos);
    EXPECT_EQ(chunks[1].bytes.find('\x03'), std::string::npos);
    EXPECT_GE(chunks[2].at - chunks[0].at, std::chrono::milliseconds(450));
}

TEST_F(SimTest, ZeroByteSitsInTheMiddleOfAnOtherwiseWholeReply)
{
    Start({"--zero-byte"});
    line_->Write(kStatus);
    auto reply = line_->ReadUntil(3000, [](const std::string& bytes) {
        const auto etx = bytes.find('\x03');
        return etx != std::string::npos && bytes.size() >= etx + 5;
    });
    const auto zero = reply.find('\0');
    ASSERT_NE(zero, std::string::npos);
    EXPECT_GT(zero, 2u);
    EXPECT_LT(zero, reply.size() - 5);
    reply.erase(zero, 1);
    EXPECT_TRUE(HasValidCheck(reply)) << reply;
}

TEST_F(SimTest, GarbageNeverHoldsAnEtx)
{
    Start({"--garbage"});
    line_->Write(kStatus);
    const auto garbage = line_->ReadFor(600);
    EXPECT_GE(garbage.size(), 16u);
    EXPECT_EQ(garbage.find('\x03'), std::string::npos);
}

TEST_F(SimTest, FloodKeepsSendingWithoutEtx)
{
    Start({"--flood", "--time-scale", "2"});
    line_->Write(kStatus);
    const auto flood = line_->ReadFor(800);
    EXPECT_GE(flood.size(), 96u * 4);
    EXPECT_EQ(flood.find('\x03'), std::string::npos);
}

TEST_F(SimTest, VanishAfterClosesTheLineAndExits)
{
    Start({"--vanish-after", "2"});
    line_->Write(kStatus);
    EXPECT_TRUE(HasValidCheck(line_->ReadReply()));
    line_->Write(Frame('E', "\x80"));
    EXPECT_TRUE(line_->Poll(3000) & POLLHUP);
    // A hung-up terminal reads as end of file (or EIO) and refuses writes.
    const int readError = line_->ReadError();
    EXPECT_TRUE(readError == EIO || readError == 0) << readError;
    EXPECT_EQ(line_->WriteError(), EIO);
    EXPECT_EQ(sim_->WaitExit(3000), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(LinkPath()));
}

class SimStopTest : public SimTest, public testing::WithParamInterface<int>
{
};

TEST_P(SimStopTest, StopSignalRemovesTheLinkAndExitsZero)
{
    Start();
    ASSERT_TRUE(std::filesystem::is_symlink(LinkPath()));
    sim_->Signal(GetParam());
    EXPECT_EQ(sim_->WaitExit(3000), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(LinkPath()));
}

INSTANTIATE_TEST_SUITE_P(Signals, SimStopTest, testing::Values(SIGTERM, SIGINT));

TEST_F(SimTest, StaleLinkIsReplaced)
{
    std::filesystem::create_symlink("/dev/pts/nonexistent", LinkPath());
    Start();
    const auto target = std::filesystem::read_symlink(LinkPath()).string();
    EXPECT_EQ(sim_->ReadyLine(), "ready " + LinkPath() + " -> " + target);
    line_->Write(kStatus);
    EXPECT_TRUE(HasValidCheck(line_->ReadReply()));
}

TEST_F(SimTest, RefusesToReplaceAFileOrToRunWithoutALink)
{
    std::ofstream(LinkPath()) << "keep me";
    auto [code, text] = RunSimToEnd({"--link", LinkPath()});
    EXPECT_NE(code, 0);
    EXPECT_NE(text.find("not a symbolic link"), std::string::npos) << text;
    EXPECT_TRUE(std::filesystem::is_regular_file(LinkPath()));

    std::tie(code, text) = RunSimToEnd({"--serial", "X"});
    EXPECT_EQ(code, 2);
    EXPECT_NE(text.find("--link"), std::string::npos) << text;

    std::tie(code, text) = RunSimToEnd({"--link", LinkPath(), "--pieces", "0"});
    EXPECT_EQ(code, 2);
}

TEST_F(SimTest, SleepsWhenIdleAndAfterTheOtherSideCloses)
{
    Start();
    line_->Write(kStatus);
    EXPECT_TRUE(HasValidCheck(line_->ReadReply()));
    line_->Close();
    const long before = CpuTicks(sim_->Pid());
    usleep(600 * 1000);
    // A process spinning on the descriptor would use about 60 ticks here.
    EXPECT_LT(CpuTicks(sim_->Pid()) - before, 15);
}
