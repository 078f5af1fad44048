// orvalenctl's printer jobs run as a user runs them, against the simulated printer on a
// pseudo-terminal that stands for COMn.
#include "Run.h"

#include "printer/Journal.h"
#include "support/SimLog.h"
#include "support/SimProcess.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <sys/stat.h>

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
        auto sim = std::make_unique<SimProcess>(
            dir_.filePath(QStringLiteral("com%1").arg(com)).toStdString(), options);
        EXPECT_TRUE(sim->Ready()) << "simulator on COM" << com;
        return sim;
    }

    // Remembers the printer as `find` would have.
    void Remember(const QString& port, const QString& serial = "QDX0012345") const
    {
        QDir().mkpath(dir_.filePath("config/orvalen"));
        QFile file(dir_.filePath("config/orvalen/orvalenctl.ini"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("[printer]\nport=%1\nserial=%2\n").arg(port, serial).toUtf8());
    }

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
    QFile::remove(dir_.filePath("com3"));
    printer = StartPrinter(5, {"--serial", "ABC1234567"});
    EXPECT_EQ(Run({"status"}).Status, 0);
    EXPECT_EQ(Run({"status"}).Status, 0);
    EXPECT_EQ(FramesOf(*printer).size(), 2u);
    ASSERT_EQ(Journalled().size(), 3);
    EXPECT_EQ(Journalled()[2].Port, "COM5");
}

// Printers of this kind take a frame with the sequence byte of the one before for a repeat and
// answer without acting: the status request that starts each run keeps the command clear of it.
TEST_F(Jobs, ZAndClockGoOnlyToTheRememberedPrinterEachWithASequenceByteOfItsOwn)
{
    auto printer = StartPrinter(3, {"--serial", "ABC1234567"});
    ASSERT_EQ(Run({"find"}).Status, 0);
    const CtlRun z = Run({"--json", "z"});
    EXPECT_EQ(JsonOf(z)["result"].toString(), "answered") << z.Err.toStdString();
    EXPECT_TRUE(JsonOf(z)["time"].toString().contains(QRegularExpression("[+-]\\d\\d:\\d\\d$")));
    const CtlRun clock = Run({"--json", "clock"});
    EXPECT_EQ(clock.Status, 0) << clock.Err.toStdString();
    EXPECT_EQ(JsonOf(clock)["result"].toString(), "accepted");
    const std::vector<std::string> frames = FramesOf(*printer);
    ASSERT_EQ(frames.size(), 5u); // find, then status and command twice
    EXPECT_EQ(frames[2].substr(2, 5), "9\x1cZ\x1cT");
    for (size_t i : {2, 4})
        EXPECT_NE(frames[i][1], frames[i - 1][1]) << "frame " << i;
    // The computer's date and time, on the clock the speed-up runs ahead a little.
    const QDateTime sent = QDateTime::fromString(
        QString::fromStdString("20" + frames[4].substr(4, 6) + frames[4].substr(11, 6)),
        "yyyyMMddHHmmss");
    EXPECT_LT(std::abs(sent.secsTo(QDateTime::currentDateTime())), 120) << frames[4];

    // Another printer where the remembered one was: it gets the status request and nothing else.
    printer.reset();
    printer = StartPrinter(3, {"--serial", "XYZ7654321"});
    const CtlRun other = Run({"--json", "z"});
    EXPECT_EQ(other.Status, 5);
    EXPECT_EQ(JsonOf(other)["result"].toString(), "other-printer");
    EXPECT_TRUE(other.Err.contains("ABC1234567")) << other.Err.toStdString();
    EXPECT_EQ(FramesOf(*printer).size(), 1u);
}

TEST_F(Jobs, FaultsEndWithTheirStatusAndReason)
{
    auto printer = StartPrinter(3, {"--vanish-after", "2"});
    EXPECT_EQ(Run({"--traffic-log", dir_.filePath("none/traffic.log"), "status"}).Status, 2);

    // The printer goes away on the Z frame.
    const CtlRun vanished = Run({"--port", "COM3", "z"});
    EXPECT_EQ(vanished.Status, 1);
    EXPECT_TRUE(vanished.Err.contains("went away") && !vanished.Err.contains("Error"))
        << vanished.Err.toStdString();
    EXPECT_EQ(Journalled().last().Result, "no-reply");

    // A journal that cannot be written: the job is done all the same, and says what is missing.
    QProcessEnvironment noJournal = Environment();
    noJournal.insert("XDG_STATE_HOME", "/proc/orvalen");
    const CtlRun unrecorded = RunCtl({"--port", "COM9", "status"}, noJournal);
    EXPECT_EQ(unrecorded.Status, 4);
    EXPECT_TRUE(unrecorded.Err.contains("not recorded")) << unrecorded.Err.toStdString();

    // Two jobs on one port: the second is told who holds it.
    printer.reset();
    printer = StartPrinter(3, {"--silent"});
    QProcess first;
    first.setProcessEnvironment(Environment(1));
    first.start(ORVALENCTL, {"--port", "COM3", "status"});
    ASSERT_TRUE(printer->WaitForLog(" RX ", 20000)); // its status request is out
    const CtlRun second = Run({"--port", "COM3", "z"});
    const qint64 firstPid = first.processId();
    first.kill();
    first.waitForFinished();
    EXPECT_EQ(second.Status, 4);
    EXPECT_TRUE(second.Err.contains(QStringLiteral("orvalenctl (pid %1)").arg(firstPid)))
        << second.Err.toStdString();
    EXPECT_EQ(Journalled().last().Result, "cannot-open");
}

TEST_F(Jobs, APortOrDeviceIsTakenExactlyAsGiven)
{
    auto printer = StartPrinter(1);
    EXPECT_EQ(Run({"--port", "COM3\n", "z"}).Status, 2);
    EXPECT_TRUE(FramesOf(*printer).empty());

    // A device name that is not UTF-8 names a file that is there, and no serial port.
    QProcess shell;
    shell.setProcessEnvironment(Environment());
    shell.start("/bin/sh", {"-c",
                            "f=\"$1$(printf '\\377')\"; touch \"$f\"; \"$0\" --device \"$f\" "
                            "status; rc=$?; rm \"$f\"; exit $rc",
                            ORVALENCTL, dir_.filePath("dev")});
    ASSERT_TRUE(shell.waitForFinished(60000));
    const QString err = QString::fromUtf8(shell.readAllStandardError());
    EXPECT_EQ(shell.exitCode(), 4);
    EXPECT_TRUE(err.startsWith("orvalenctl: ") && err.contains(": not a serial port"))
        << err.toStdString();
}

// Nobody watches a first run: only a device whose status reply is a frame with a serial number is
// a printer, and nothing that is not one gets the Z or is remembered.
TEST_F(Jobs, EchoesAndJunkAreNoPrinter)
{
    QFile com2(dir_.filePath("com2"));
    ASSERT_TRUE(com2.open(QIODevice::WriteOnly));
    for (const char* fault : {"--echo", "--junk-etx"}) {
        auto device = StartPrinter(3, {fault});
        const CtlRun z = Run({"--json", "z"});
        EXPECT_EQ(z.Status, 3) << fault << z.Err.toStdString();
        EXPECT_EQ(FramesOf(*device).size(), 1u) << fault;
        EXPECT_FALSE(QFile::exists(dir_.filePath("config/orvalen/orvalenctl.ini"))) << fault;
        // COM2 is a file, no port: it says so, by the names the user knows.
        const QString com2 =
            QStringLiteral("COM2 (%1): not a serial port").arg(dir_.filePath("com2"));
        EXPECT_TRUE(z.Err.contains(com2)) << z.Err.toStdString();
    }
}

TEST_F(Jobs, ADamagedSettingsFileStopsEveryJobButFind)
{
    auto printer = StartPrinter(3);
    const QString ini = dir_.filePath("config/orvalen/orvalenctl.ini");
    const QByteArray pty = QFile::symLinkTarget(dir_.filePath("com3")).toLocal8Bit();
    const std::vector<std::function<void()>> damages = {
        [&] { Remember("COM3", "QDX00"); }, // cut inside the serial number
        [&] {
            QFile file(ini);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            static constexpr char Junk[] = "\x8f\x00[\xff=\n\x01serial";
            file.write(Junk, sizeof Junk - 1);
        },
        [&] { QDir().mkpath(ini); },
        [&] { ASSERT_EQ(mkfifo(QFile::encodeName(ini).constData(), 0600), 0); },
        [&] { ASSERT_TRUE(QFile::link(QString::fromLocal8Bit(pty), ini)); },
    };
    for (std::size_t i = 0; i < damages.size(); ++i) {
        QDir().mkpath(dir_.filePath("config/orvalen"));
        damages[i]();
        const std::size_t framesBefore = FramesOf(*printer).size();
        const CtlRun z = Run({"z"});
        EXPECT_EQ(z.Status, 2) << "damage " << i;
        EXPECT_TRUE(z.Err.contains(ini) && z.Err.contains("orvalenctl find"))
            << z.Err.toStdString();
        EXPECT_EQ(FramesOf(*printer).size(), framesBefore) << "damage " << i;
        // find mends a damaged file, and leaves alone what is no file.
        const CtlRun find = Run({"find"});
        EXPECT_EQ(find.Status, 0) << find.Err.toStdString();
        EXPECT_EQ(Run({"status"}).Status, i < 2 ? 0 : 2) << "damage " << i;
        if (QFileInfo(ini).isDir())
            QDir(ini).removeRecursively();
        else
            QFile::remove(ini);
    }
    struct stat st;
    ASSERT_EQ(stat(pty.constData(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
}

TEST_F(Jobs, TheSearchForTheRememberedPrinterGoesPastOthers)
{
    Remember("COM1", "ABC1234567");
    auto other = StartPrinter(2, {"--serial", "XYZ7654321"});
    auto ours = StartPrinter(3, {"--serial", "ABC1234567"});
    const CtlRun z = Run({"--json", "z"});
    EXPECT_EQ(z.Status, 0) << z.Err.toStdString();
    EXPECT_EQ(JsonOf(z)["port"].toString(), "COM3");
    EXPECT_EQ(FramesOf(*other).size(), 1u);
    EXPECT_EQ(FramesOf(*ours).size(), 2u);
}

// A reply counts only when it answers the frame sent: its sequence and command byte, no ERRO.
TEST_F(Jobs, TheZCountsOnlyWhenItsOwnReplyAcceptsIt)
{
    Remember("COM3");
    const struct
    {
        const char* Fault;
        int Status;
        const char* Result;
    } cases[] = {
        {"--refuse-z", 1, "refused"},
        {"--late-reply", 1, "no-reply"},
        {"--wrong-sequence", 1, "no-reply"},
        // The tail of a status reply that came too slowly is no serial number of another printer.
        {"--slow", 1, "no-reply"},
    };
    for (const auto& fault : cases) {
        auto printer = StartPrinter(3, {fault.Fault});
        const CtlRun z = Run({"--json", "z"});
        EXPECT_EQ(z.Status, fault.Status) << fault.Fault << z.Err.toStdString();
        EXPECT_EQ(JsonOf(z)["result"].toString(), fault.Result) << fault.Fault;
    }
}

// The timer's Z with the printer switched off: the journal names the printer that missed it.
TEST_F(Jobs, AFailedZIsRecordedWithTheRememberedPortAndSerialNumber)
{
    auto printer = StartPrinter(3, {"--serial", "ABC1234567"});
    ASSERT_EQ(Run({"find"}).Status, 0);
    printer.reset();
    const CtlRun z = Run({"z", "--if-due"});
    EXPECT_EQ(z.Status, 3) << z.Err.toStdString();
    const JobRecord last = Journalled().last();
    EXPECT_EQ(last.Result, "not-found");
    EXPECT_EQ(last.Port, "COM3");
    EXPECT_EQ(last.Serial, "ABC1234567");
}

// Only a Z of the printer about to get one counts for --if-due: a replaced printer, or a second
// shop's printer on the same laptop, gets its own. On a first run only the printer's answer to
// the status request tells whose Z it would be.
TEST_F(Jobs, ZIfDueCountsOnlyTheZOfThePrinterAboutToGetOne)
{
    JobRecord windowsZ;
    windowsZ.Command = "z";
    windowsZ.Result = "answered";
    windowsZ.Time = QDateTime::currentDateTime().addSecs(-3600);
    windowsZ.Port = "COM3";
    windowsZ.Serial = "ABC1234567";
    QString error;
    ASSERT_TRUE(Journal(dir_.filePath("state/orvalen/journal.jsonl")).Append(windowsZ, error));

    auto printer = StartPrinter(3, {"--serial", "ABC1234567"});
    const CtlRun first = Run({"--json", "z", "--if-due"});
    EXPECT_EQ(first.Status, 0) << first.Err.toStdString();
    EXPECT_EQ(JsonOf(first)["result"].toString(), "skipped");
    EXPECT_EQ(FramesOf(*printer).size(), 1u); // the status request only

    printer.reset();
    printer = StartPrinter(3, {"--serial", "XYZ7654321"});
    ASSERT_EQ(Run({"find"}).Status, 0);
    const CtlRun replaced = Run({"--json", "z", "--if-due"});
    EXPECT_EQ(JsonOf(replaced)["result"].toString(), "answered") << replaced.Err.toStdString();
    EXPECT_EQ(FramesOf(*printer).size(), 3u);
}

// SIGTERM (how systemd stops the timer's job) ends a job only once the exchange under way is
// over and journalled, and nothing more goes out; the program then ends by the signal. A Z's
// sending is journalled before its frame, so that SIGKILL leaves a trace, which `history`
// shows as interrupted.
TEST_F(Jobs, StopSignalsNeverLeaveAZUnrecorded)
{
    // Each reply comes a second late, on the real clock: time to signal the job mid-exchange.
    auto printer = StartPrinter(3, {"--serial", "ABC1234567", "--delay", "50000"});
    auto started = [&](const QStringList& arguments) {
        auto job = std::make_unique<QProcess>();
        job->setProcessEnvironment(Environment(1));
        job->start(ORVALENCTL, arguments);
        return job;
    };
    auto framesReach = [&](size_t count) {
        return printer->WaitForLog(
            [count](const std::string& log) {
                size_t frames = 0;
                for (const LogLine& line : ParseLog(log))
                    frames += line.kind == "RX" && line.bytes.size() > 2 && line.bytes[0] == '\x02';
                return frames >= count;
            },
            30000);
    };
    auto endsBy = [](QProcess& job, int signal) {
        job.waitForFinished(60000);
        EXPECT_EQ(job.exitStatus(), QProcess::CrashExit);
        EXPECT_EQ(job.exitCode(), signal);
    };

    // Stopped during the status request: its reply is awaited, the Z never goes out.
    auto job = started({"z"});
    ASSERT_TRUE(framesReach(1));
    job->terminate();
    endsBy(*job, SIGTERM);
    EXPECT_TRUE(job->readAllStandardError().contains("SIGTERM"));
    EXPECT_EQ(FramesOf(*printer).size(), 1u);
    EXPECT_EQ(Journalled().last().Result, "stopped");

    // Stopped once the Z went out: its reply is awaited and journalled.
    job = started({"z", "--if-due"});
    ASSERT_TRUE(framesReach(3));
    job->terminate();
    endsBy(*job, SIGTERM);
    EXPECT_EQ(FramesOf(*printer).size(), 3u);
    QList<JobRecord> records = Journalled();
    ASSERT_EQ(records.size(), 3);
    EXPECT_EQ(records[1].Result, "sending");
    EXPECT_EQ(records[2].Result, "answered");
    EXPECT_EQ(records[2].Serial, "ABC1234567");

    job = started({"z"});
    ASSERT_TRUE(framesReach(5));
    job->kill();
    endsBy(*job, SIGKILL);
    EXPECT_EQ(Journalled().last().Result, "sending");
    const QStringList history = Run({"history", "--json"}).Out.trimmed().split('\n');
    ASSERT_EQ(history.size(), 3); // stopped, answered, interrupted
    EXPECT_EQ(QJsonDocument::fromJson(history[2].toUtf8()).object()["result"].toString(),
              "interrupted");
}
