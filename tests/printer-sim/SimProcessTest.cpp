#include "support/SimProcess.h"
#include "Line.h"
#include "support/Frame.h"
#include "support/PtyPair.h"
#include "support/SimLog.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <regex>
#include <sstream>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

const std::string StatusFrame = Frame('D', "\x80");

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

// What a process has done: processor time (user + system, in clock ticks) and how often its
// threads were switched out (woke from a wait, or were preempted while running).
struct Activity
{
    long cpuTicks = 0;
    long switches = 0;
};

Activity ActivityOf(pid_t pid)
{
    Activity activity;
    const std::string proc = "/proc/" + std::to_string(pid);
    std::ifstream stat(proc + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14 || i == 15)
            activity.cpuTicks += std::stol(field);
        if (i == 15)
            break;
    }
    std::error_code ignored;
    for (const auto& task : std::filesystem::directory_iterator(proc + "/task", ignored)) {
        std::ifstream status(task.path() / "status");
        for (std::string line; std::getline(status, line);)
            if (line.find("ctxt_switches:") != std::string::npos)
                activity.switches += std::stol(line.substr(line.find(':') + 1));
    }
    return activity;
}

class SimTest : public testing::Test
{
protected:
    std::string LinkPath() const { return dir_.path().toStdString() + "/com3"; }

    // Starts the simulator and opens the line to it.
    void Start(const std::vector<std::string>& options = {})
    {
        sim_ = std::make_unique<SimProcess>(LinkPath(), options);
        ASSERT_TRUE(sim_->Ready()) << sim_->ReadyLine();
        line_ = std::make_unique<Line>(LinkPath());
        ASSERT_TRUE(line_->IsOpen());
    }

    QTemporaryDir dir_;
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
    line_->Write(StatusFrame);
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
    ASSERT_TRUE(sim_->WaitForLog("EV reset bytes, no answer"));
    line_->Write(StatusFrame);
    // The first bytes back are the status reply and nothing else: the reset got no answer.
    const auto reply = line_->ReadReply();
    EXPECT_TRUE(HasValidCheck(reply)) << reply;
    EXPECT_EQ(reply.substr(0, 2), "\x02"
                                  "D");
}

TEST_F(SimTest, ClosingAndReopeningThePortKeepsTheLineAlive)
{
    Start();
    line_->Write(StatusFrame);
    EXPECT_TRUE(HasValidCheck(line_->ReadReply()));
    line_->Close();
    line_ = std::make_unique<Line>(LinkPath());
    ASSERT_TRUE(line_->IsOpen());
    line_->Write(StatusFrame);
    EXPECT_TRUE(HasValidCheck(line_->ReadReply()));
}

TEST_F(SimTest, AFrameLeftIncompleteIsDroppedSoTheNextOneReadsCleanly)
{
    Start({"--time-scale", "10"}); // gives up after 200 ms of silence
    line_->Write(StatusFrame.substr(0, 3));
    ASSERT_TRUE(sim_->WaitForLog("EV dropped ("));
    EXPECT_EQ(line_->ReadFor(0), "") << "a dropped frame gets no answer";
    line_->Write(StatusFrame);
    const auto reply = line_->ReadReply();
    EXPECT_TRUE(HasValidCheck(reply)) << reply;
}

TEST_F(SimTest, SilentNeverAnswers)
{
    Start({"--silent"});
    line_->Write(StatusFrame);
    line_->Write(std::string("\x02\x44\x80\x03") + "0000");
    ASSERT_TRUE(sim_->WaitForLog("EV bad frame"));
    // Nothing is sent once both frames are taken: a short look is enough.
    EXPECT_EQ(line_->ReadFor(200), "");
}

TEST_F(SimTest, DelayHoldsTheReplyBack)
{
    Start({"--delay", "2000", "--time-scale", "4"}); // 500 ms
    line_->Write(StatusFrame);
    // Half the delay: nothing may come yet (a check that something does not happen).
    EXPECT_EQ(line_->ReadFor(250), "");
    EXPECT_TRUE(HasValidCheck(line_->ReadReply(5000)));
}

TEST_F(SimTest, PiecesArriveSeparately)
{
    Start({"--pieces", "3", "--time-scale", "4"}); // 300 ms between pieces
    line_->Write(StatusFrame);
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
    line_->Write(StatusFrame);
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
    line_->Write(StatusFrame);
    // The log shows what the simulator sent; all of it must arrive, without an ETX.
    std::string sent;
    ASSERT_TRUE(sim_->WaitForLog([&](const std::string& log) {
        sent.clear();
        for (const auto& line : ParseLog(log.substr(0, log.rfind('\n') + 1)))
            if (line.kind == "TX")
                sent += line.bytes;
        return !sent.empty();
    }));
    const auto garbage = line_->ReadUntil(
        3000, [&](const std::string& bytes) { return bytes.size() >= sent.size(); });
    EXPECT_EQ(garbage, sent);
    EXPECT_GE(garbage.size(), 16u);
    EXPECT_EQ(garbage.find('\x03'), std::string::npos);
}

TEST_F(SimTest, FloodKeepsSendingWithoutEtx)
{
    Start({"--flood", "--time-scale", "2"});
    line_->Write(StatusFrame);
    const auto flood =
        line_->ReadUntil(5000, [](const std::string& bytes) { return bytes.size() >= 96u * 4; });
    EXPECT_GE(flood.size(), 96u * 4);
    EXPECT_EQ(flood.find('\x03'), std::string::npos);
}

TEST_F(SimTest, VanishAfterClosesTheLineAndExits)
{
    Start({"--vanish-after", "2"});
    line_->Write(StatusFrame);
    EXPECT_TRUE(HasValidCheck(line_->ReadReply()));
    line_->Write(Frame('E', "\x80"));
    EXPECT_TRUE(line_->Poll(3000) & POLLHUP);
    // A hung-up terminal reads as end of file (or EIO) and refuses writes.
    const int readError = line_->ReadError();
    EXPECT_TRUE(readError == EIO || readError == 0) << readError;
    // The hang-up is signalled before the kernel has finished it: writes are refused a moment
    // after POLLHUP, not always at once.
    int writeError = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while ((writeError = line_->WriteError()) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(writeError, EIO);
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
    EXPECT_EQ(sim_->ReadyLine().substr(StampLength), " EV ready " + LinkPath() + " -> " + target);
    line_->Write(StatusFrame);
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
    line_->Write(StatusFrame);
    EXPECT_TRUE(HasValidCheck(line_->ReadReply()));
    line_->Close();
    // A measurement over a fixed window, not a wait for an event. An idle simulator neither
    // uses the processor nor wakes up in it. A loop spinning on the descriptor shows in
    // processor time on a quiet machine (about 50 ticks) and in switches where it is preempted
    // on a busy one; a loop polling with a short timeout shows in switches.
    const Activity before = ActivityOf(sim_->Pid());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const Activity after = ActivityOf(sim_->Pid());
    EXPECT_LT(after.cpuTicks - before.cpuTicks, 10);
    EXPECT_LT(after.switches - before.switches, 10);
}

TEST_F(SimTest, LogHoldsTheBytesOfBothWaysInTheSharedShape)
{
    Start();
    const std::string sent = "\x07" + StatusFrame + Frame('E', "\x80");
    line_->Write(sent.substr(0, 1 + StatusFrame.size()));
    const std::string first = line_->ReadReply();
    line_->Write(sent.substr(1 + StatusFrame.size()));
    const std::string second = line_->ReadReply();
    ASSERT_TRUE(HasValidCheck(first) && HasValidCheck(second)) << first << second;
    const std::string received = first + second;

    // The log lines of the second reply are written by the time of the next look at most.
    ASSERT_TRUE(sim_->WaitForLog([&](const std::string& log) {
        std::string tx;
        for (const auto& line : ParseLog(log.substr(0, log.rfind('\n') + 1)))
            if (line.kind == "TX")
                tx += line.bytes;
        return tx == received;
    }));
    const std::string log = sim_->ReadyLine() + "\n" + sim_->Log();
    const std::regex shape(
        R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3} (EV .+|(RX|TX) [0-9A-F]{2}( [0-9A-F]{2})* \| .+))");
    std::string rx, tx;
    for (const auto& line : ParseLog(log)) {
        EXPECT_TRUE(std::regex_match(line.stamp + " " + line.kind + " " + line.text, shape))
            << line.text;
        (line.kind == "RX" ? rx : tx) += line.bytes;
        if (line.bytes == StatusFrame) {
            EXPECT_EQ(line.readable, "<STX>D<80><ETX>00C9");
        }
        if (line.bytes == "\x07") {
            EXPECT_EQ(line.readable, "<BEL>");
        }
    }
    EXPECT_EQ(rx, sent);
    EXPECT_EQ(tx, received);
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), static_cast<long>(ParseLog(log).size()));
}

TEST_F(SimTest, ALogNobodyReadsNeverStopsThePrinter)
{
    Start();
    // About 350 bytes of log per exchange: the pipe fills after a couple of hundred.
    for (int i = 0; i < 600; ++i) {
        line_->Write(StatusFrame);
        ASSERT_TRUE(HasValidCheck(line_->ReadReply())) << "exchange " << i;
    }
    sim_->Log(); // empties the pipe
    line_->Write(StatusFrame);
    ASSERT_TRUE(HasValidCheck(line_->ReadReply()));
    const std::regex report(R"(EV (\d+) log lines dropped)");
    std::smatch dropped;
    std::string log;
    ASSERT_TRUE(sim_->WaitForLog([&](const std::string& text) {
        log = text;
        return std::regex_search(log, dropped, report);
    })) << log.substr(log.size() - std::min<std::size_t>(log.size(), 600));
    EXPECT_GT(std::stoi(dropped[1]), 100);
}

TEST_F(SimTest, RepliesNobodyReadsAreBoundedAndTheOldestGo)
{
    Start({"--delay", "400"});
    std::string frames;
    std::string seqs;
    for (char seq = 0x21; seq < 0x21 + 90; ++seq) {
        frames += Frame(seq, "\x80");
        seqs += seq;
    }
    line_->Write(frames);
    // Complete replies until 64 are in: one more would show as a wrong first sequence byte.
    const std::string replies = line_->ReadUntil(5000, [](const std::string& bytes) {
        return std::count(bytes.begin(), bytes.end(), '\x03') >= 64 &&
               bytes.size() >= bytes.rfind('\x03') + 5;
    });
    std::string answered;
    for (auto at = replies.find('\x02'); at != std::string::npos; at = replies.find('\x02', at + 1))
        answered += replies[at + 1];
    EXPECT_EQ(answered, seqs.substr(90 - 64));
    EXPECT_TRUE(sim_->WaitForLog("dropped the 1 oldest of 65 waiting replies"));
}

TEST(SimDeviceTest, ServesAnExistingTerminalDeviceRaw)
{
    PtyPair pty;
    ASSERT_TRUE(pty.IsOpen());
    const std::string name = pty.Path().toStdString();
    termios cooked{};
    tcgetattr(pty.Slave(), &cooked);
    ASSERT_TRUE(cooked.c_lflag & ICANON);
    termios raw = cooked;
    cfmakeraw(&raw);
    tcsetattr(pty.Master(), TCSANOW, &raw);
    SimProcess sim("", {"--device", name});
    ASSERT_TRUE(sim.Ready()) << sim.ReadyLine();
    EXPECT_EQ(sim.ReadyLine().substr(StampLength),
              std::string(" EV ready ") + name + " (9600 8N1)");

    termios now{};
    ASSERT_EQ(tcgetattr(pty.Slave(), &now), 0);
    EXPECT_EQ(now.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(now.c_iflag & (ICRNL | IXON), 0u);
    EXPECT_EQ(cfgetospeed(&now), static_cast<speed_t>(B9600));

    ASSERT_TRUE(pty.Send(QByteArray::fromStdString(StatusFrame)));
    std::string reply;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (!HasValidCheck(reply) && std::chrono::steady_clock::now() < deadline) {
        pollfd p{pty.Master(), POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            char buffer[256];
            const ssize_t n = read(pty.Master(), buffer, sizeof buffer);
            if (n > 0)
                reply.append(buffer, n);
        }
    }
    EXPECT_TRUE(HasValidCheck(reply)) << reply;
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.WaitExit(3000), 0);
}

TEST(SimDeviceTest, RefusesAPathThatIsNoTerminalAndBadSettings)
{
    auto [code, text] = RunSimToEnd({"--device", "/dev/null"});
    EXPECT_EQ(code, 1);
    EXPECT_NE(text.find("not a terminal"), std::string::npos) << text;
    std::tie(code, text) = RunSimToEnd({"--device", "/dev/null", "--baud", "9601"});
    EXPECT_EQ(code, 2);
    std::tie(code, text) = RunSimToEnd({"--device", "/dev/null", "--format", "9N1"});
    EXPECT_EQ(code, 2);
    std::tie(code, text) = RunSimToEnd({"--device", "/dev/null", "--link", "/tmp/x"});
    EXPECT_EQ(code, 2);
}

TEST(SimCommandLineTest, VersionAndHelpNeedNoLineAndExitZero)
{
    auto [code, text] = RunSimToEnd({"--version"});
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(std::regex_match(text, std::regex(R"(orvalen-printer-sim \d+\.\d+\.\d+\n)")))
        << text;
    std::tie(code, text) = RunSimToEnd({"--help"});
    EXPECT_EQ(code, 0);
    for (const char* needed : {"--device PATH", "--baud", "--format", " RX ", " TX ", "EV ready"})
        EXPECT_NE(text.find(needed), std::string::npos) << needed;
}
