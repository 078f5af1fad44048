// orvalenctl's printer jobs run as a user runs them, against the simulated printer on a
// pseudo-terminal that stands for COMn.
#include "Run.h"

#include "platform/DeviceHolders.h"
#include "printer/Journal.h"
#include "support/SimLog.h"
#include "support/SimProcess.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr int Scale = 50;

class Jobs : public ::testing::Test
{
protected:
    QProcessEnvironment Environment(int scale = Scale) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("ORVALEN_COM_DIR", dir_.path());
        environment.insert("ORVALEN_TIME_SCALE", QString::number(scale));
        environment.insert("XDG_STATE_HOME", dir_.filePath("state"));
        environment.insert("XDG_CONFIG_HOME", dir_.filePath("config"));
        environment.insert("LC_ALL", "C");
        return environment;
    }
    CtlRun Run(const QStringList& arguments) const { return RunCtl(arguments, Environment()); }

    std::unique_ptr<SimProcess> StartPrinter(int com, std::vector<std::string> options = {})
    {
        options.insert(options.end(), {"--time-scale", std::to_string(Scale)});
        auto sim = std::make_unique<SimProcess>(Com(com).toStdString(), options);
        EXPECT_TRUE(sim->Ready()) << "simulator on COM" << com;
        return sim;
    }
    QString Com(int n) const { return dir_.filePath(QStringLiteral("com%1").arg(n)); }

    QList<JobRecord> Journalled() const
    {
        return Journal(dir_.filePath("state/orvalen/journal.jsonl")).ReadAll().Records;
    }

    QTemporaryDir dir_;
};

QJsonObject JsonOf(const CtlRun& run)
{
    return QJsonDocument::fromJson(run.Out.toUtf8()).object();
}

// The frames the printer took, as bytes from STX to the check digits.
std::vector<std::string> FramesOf(SimProcess& printer)
{
    std::vector<std::string> frames;
    for (const LogLine& line : ParseLog(printer.Log()))
        if (line.kind == "RX" && line.bytes.size() > 2 && line.bytes[0] == '\x02')
            frames.push_back(line.bytes);
    return frames;
}

} // namespace

TEST_F(Jobs, FindRemembersThePrinterAndStatusFollowsItToAnotherPort)
{
    auto printer = StartPrinter(3, {"--serial", "ABC1234567"});
    const CtlRun find = Run({"--json", "find"});
    EXPECT_EQ(find.Status, 0) << find.Err.toStdString();
    EXPECT_EQ(JsonOf(find)["port"].toString(), "COM3");
    EXPECT_EQ(JsonOf(find)["serial"].toString(), "ABC1234567");

    // The adapter comes back as another number: the search finds the same printer there, and
    // the next job goes straight to it.
    printer.reset();
    QFile::remove(Com(3));
    printer = StartPrinter(5, {"--serial", "ABC1234567"});
    const CtlRun moved = Run({"status"});
    EXPECT_EQ(moved.Status, 0) << moved.Err.toStdString();
    EXPECT_TRUE(moved.Out.startsWith("COM5")) << moved.Out.toStdString();
    EXPECT_TRUE(moved.Out.contains("ABC1234567"));
    EXPECT_EQ(Run({"status"}).Status, 0);
    EXPECT_EQ(FramesOf(*printer).size(), 2u);
    ASSERT_EQ(Journalled().size(), 3);
    EXPECT_EQ(Journalled()[2].Port, "COM5");
}

TEST_F(Jobs, ZAndClockGoOnlyToTheRememberedPrinter)
{
    auto printer = StartPrinter(3, {"--serial", "ABC1234567"});
    ASSERT_EQ(Run({"find"}).Status, 0);
    // Yesterday's Z does not make today's one wait.
    JobRecord old;
    old.Command = "z";
    old.Result = "answered";
    old.Time = QDateTime::currentDateTime().addSecs(-13 * 3600);
    QString error;
    ASSERT_TRUE(Journal(dir_.filePath("state/orvalen/journal.jsonl")).Append(old, error));

    const CtlRun z = Run({"--json", "z", "--if-due"});
    EXPECT_EQ(z.Status, 0) << z.Err.toStdString();
    EXPECT_EQ(JsonOf(z)["result"].toString(), "answered");
    EXPECT_TRUE(QRegularExpression("T\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d$")
                    .match(JsonOf(z)["time"].toString())
                    .hasMatch());
    const CtlRun clock = Run({"--json", "clock"});
    EXPECT_EQ(clock.Status, 0) << clock.Err.toStdString();
    EXPECT_EQ(JsonOf(clock)["result"].toString(), "accepted");
    const std::vector<std::string> frames = FramesOf(*printer);
    ASSERT_EQ(frames.size(), 5u); // find, then status and command twice
    EXPECT_EQ(frames[2].substr(2, 5), "9\x1cZ\x1cT");
    // The computer's date and time, on the clock the speed-up runs ahead a little.
    const QDateTime sent = QDateTime::fromString(QString::fromStdString(frames[4].substr(4, 6) +
                                                                        frames[4].substr(11, 6)),
                                                 "yyMMddHHmmss")
                               .addYears(100);
    EXPECT_LT(std::abs(sent.secsTo(QDateTime::currentDateTime())), 120) << frames[4];

    // Another printer where the remembered one was: it gets the status request and nothing else.
    printer.reset();
    printer = StartPrinter(3, {"--serial", "XYZ7654321"});
    const CtlRun other = Run({"--json", "z"});
    EXPECT_EQ(other.Status, 5);
    EXPECT_EQ(JsonOf(other)["result"].toString(), "other-printer");
    EXPECT_TRUE(other.Err.contains("ABC1234567")) << other.Err.toStdString();
    ASSERT_EQ(FramesOf(*printer).size(), 1u);
    EXPECT_EQ(FramesOf(*printer)[0][2], '\x80');
}

TEST_F(Jobs, FaultsEndWithTheirStatusAndReason)
{
    auto printer = StartPrinter(3, {"--vanish-after", "2"});
    EXPECT_EQ(Run({"--traffic-log", dir_.filePath("none/traffic.log"), "status"}).Status, 2);

    // The printer goes away on the Z frame.
    const CtlRun vanished = Run({"--port", "COM3", "z"});
    EXPECT_EQ(vanished.Status, 1);
    EXPECT_TRUE(vanished.Err.contains("went away")) << vanished.Err.toStdString();
    EXPECT_EQ(Journalled().last().Result, "no-reply");

    // A journal that cannot be written: the job is done all the same, and says what is missing.
    printer.reset();
    printer = StartPrinter(3, {"--silent"});
    QProcessEnvironment noJournal = Environment();
    noJournal.insert("XDG_STATE_HOME", "/proc/orvalen");
    const CtlRun unrecorded = RunCtl({"--port", "COM3", "status"}, noJournal);
    EXPECT_EQ(unrecorded.Status, 1);
    EXPECT_TRUE(unrecorded.Err.contains("not recorded")) << unrecorded.Err.toStdString();

    // Two jobs on one port: the second is told who holds it.
    QProcess first;
    first.setProcessEnvironment(Environment(1));
    first.start(ORVALENCTL, {"--port", "COM3", "status"});
    ASSERT_TRUE(first.waitForStarted());
    const auto holdsThePort = [&] {
        for (const DeviceHolder& holder : OtherHoldersOf(Com(3).toLocal8Bit()))
            if (holder.Pid == first.processId())
                return true;
        return false;
    };
    const QDeadlineTimer deadline(20000);
    while (!holdsThePort() && !deadline.hasExpired())
        QThread::msleep(20);
    ASSERT_TRUE(holdsThePort());
    const CtlRun second = Run({"--port", "COM3", "z"});
    const qint64 firstPid = first.processId();
    first.kill();
    first.waitForFinished();
    EXPECT_EQ(second.Status, 4);
    EXPECT_TRUE(second.Err.contains(QStringLiteral("busy: held by")));
    EXPECT_TRUE(second.Err.contains(QStringLiteral("orvalenctl (pid %1)").arg(firstPid)))
        << second.Err.toStdString();
    EXPECT_EQ(Journalled().last().Result, "cannot-open");
}

// Printers of this kind take a frame with the sequence byte of the one before for a repeat and
// answer without acting: each run starts with the status request, so that its command never
// carries the sequence byte of the frame before it.
TEST_F(Jobs, NoCommandCarriesTheSequenceByteOfTheFrameBeforeIt)
{
    auto printer = StartPrinter(3);
    for (const char* job : {"status", "z", "z", "clock", "z"})
        ASSERT_EQ(Run({"--port", "COM3", job}).Status, 0) << job;
    const std::vector<std::string> frames = FramesOf(*printer);
    ASSERT_EQ(frames.size(), 9u);
    // A status request may repeat the one of the run before: taken for a repeat, it changes
    // nothing.
    for (size_t i = 1; i < frames.size(); ++i) {
        if (frames[i][2] != '\x80') {
            EXPECT_NE(frames[i][1], frames[i - 1][1]) << "frame " << i;
        }
    }
}
