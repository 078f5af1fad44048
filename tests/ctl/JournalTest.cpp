#include "Run.h"

#include "printer/Journal.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

JobRecord Record(const QString& command, const QString& result, const QDateTime& time)
{
    JobRecord record;
    record.Command = command;
    record.Result = result;
    record.Time = time;
    record.Port = QStringLiteral("COM3");
    record.Device = "/dev/ttyS2";
    record.Serial = QStringLiteral("RTTY012345");
    record.Reply = QByteArray("\x02\x81\x03", 3);
    return record;
}

void AppendRaw(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write(bytes);
}

QProcessEnvironment WithState(const QString& folder)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_STATE_HOME"), folder);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder + QStringLiteral("/config"));
    return environment;
}

// The printer RTTY012345 on COM3, as `find` leaves it.
void Remember(const QString& state)
{
    ASSERT_TRUE(QDir().mkpath(state + "/config/orvalen"));
    QFile ini(state + "/config/orvalen/orvalenctl.ini");
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[printer]\nport=COM3\nserial=RTTY012345\n");
}

} // namespace

TEST(Journal, ADamagedLineIsSkippedAndItsNeighboursKept)
{
    const QTemporaryDir dir;
    const Journal journal(dir.filePath("orvalen/journal.jsonl"));
    const QDateTime now = QDateTime::currentDateTime();
    QString error;
    ASSERT_TRUE(journal.Append(Record("z", "answered", now), error)) << error.toStdString();
    AppendRaw(journal.Path(), "{\"command\":\"z\",\"res\n");
    // Longer than any line is kept: skipped without taking its neighbours along.
    AppendRaw(journal.Path(), QByteArray(Journal::MaxLineBytes + 10, 'x') + '\n');
    ASSERT_TRUE(journal.Append(Record("clock", "accepted", now), error));
    // A writer that died in the middle of its line: the next line must not be glued to it.
    AppendRaw(journal.Path(), "{\"command\":\"status\"");
    ASSERT_TRUE(journal.Append(Record("status", "refused", now), error));

    const Journal::Contents contents = journal.ReadAll();
    ASSERT_EQ(contents.Records.size(), 3);
    EXPECT_EQ(contents.Records[0].Reply, QByteArray("\x02\x81\x03", 3));
    EXPECT_EQ(contents.Records[0].Time, now.addMSecs(-now.time().msec()));
    EXPECT_EQ(contents.Records[2].Result, "refused");
    EXPECT_EQ(contents.DamagedLines, (QList<int>{2, 3, 5}));

    const Journal unwritable(journal.Path() + QStringLiteral("/journal.jsonl"));
    EXPECT_FALSE(unwritable.Append(Record("z", "answered", now), error));
    EXPECT_TRUE(error.startsWith(journal.Path())) << error.toStdString();
}

TEST(Journal, WritersInSeveralProcessesNeverTearALineAReaderSees)
{
    const QTemporaryDir dir;
    const Journal journal(dir.filePath("journal.jsonl"));
    constexpr int Writers = 4, Lines = 150;
    QList<pid_t> children;
    for (int w = 0; w < Writers; ++w) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            JobRecord record = Record("status", "answered", QDateTime::currentDateTime());
            record.Reply = QByteArray(2000, char('a' + w)); // longer than a pipe's atomic write
            QString error;
            for (int i = 0; i < Lines; ++i) {
                if (!journal.Append(record, error))
                    _exit(1);
            }
            _exit(0);
        }
        children.append(pid);
    }
    int reads = 0;
    bool writing = true;
    while (writing) {
        const Journal::Contents contents = journal.ReadAll();
        EXPECT_TRUE(contents.DamagedLines.isEmpty()) << "after " << contents.Records.size();
        ++reads;
        writing = false;
        for (pid_t child : children)
            writing = writing || waitpid(child, nullptr, WNOHANG) == 0;
    }
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
    }
    const Journal::Contents contents = journal.ReadAll();
    EXPECT_EQ(contents.Records.size(), Writers * Lines);
    EXPECT_TRUE(contents.DamagedLines.isEmpty());
    EXPECT_GT(reads, 0);
}

// Read from the journal's end: only a Z that this printer answered counts, not one that another
// printer answered, nor one whose sending was recorded and its end never was.
TEST(Journal, OnlyAZThisPrinterAnsweredInThePastTwelveHoursIsRecent)
{
    const QDateTime now = QDateTime::currentDateTime();
    auto recent = [&](const QList<JobRecord>& records, const QString& serial = "RTTY012345") {
        const QTemporaryDir dir;
        const Journal journal(dir.filePath("journal.jsonl"));
        QString error;
        for (const JobRecord& record : records)
            EXPECT_TRUE(journal.Append(record, error));
        AppendRaw(journal.Path(), QByteArray(Journal::MaxLineBytes + 10, '{'));
        const bool found =
            RecentAnsweredZ(journal, serial, now, std::chrono::hours(12), error).has_value();
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        return found;
    };
    EXPECT_TRUE(recent({Record("z", "answered", now.addSecs(-11 * 3600)),
                        Record("status", "answered", now.addSecs(-60))}));
    EXPECT_FALSE(recent({Record("z", "answered", now.addSecs(-13 * 3600))}));
    EXPECT_FALSE(recent({Record("z", "answered", now.addSecs(3600))})); // the clock went back
    EXPECT_FALSE(recent({Record("z", "refused", now.addSecs(-60))}));
    EXPECT_FALSE(recent({Record("z", "skipped", now.addSecs(-60))}));
    EXPECT_FALSE(recent({Record("z", "sending", now.addSecs(-60))}));
    EXPECT_FALSE(recent({Record("status", "answered", now.addSecs(-60))}));
    EXPECT_FALSE(recent({Record("z", "answered", now.addSecs(-60))}, "XYZ7654321"));
    EXPECT_FALSE(recent({Record("z", "answered", now.addSecs(-60))}, ""));
}

// A FIFO, a link to an endless device, a directory: refused at once with what it is, never
// waited on or read, and the device never written.
TEST(Journal, OnlyARegularFileIsAJournal)
{
    const QTemporaryDir state;
    const QString path = state.filePath("orvalen/journal.jsonl");
    ASSERT_TRUE(QDir().mkpath(state.filePath("orvalen")));
    // The remembered printer's port is missing, so the Z searches ports that are not there.
    QProcessEnvironment environment = WithState(state.path());
    environment.insert("ORVALEN_COM_DIR", state.path());
    Remember(state.path());
    auto check = [&](const char* kind) {
        const QString problem = QStringLiteral(": %1, not a regular file").arg(kind);
        const CtlRun history = RunCtl({"history"}, environment);
        EXPECT_EQ(history.Status, 4) << kind;
        EXPECT_TRUE(history.Err.contains(problem)) << history.Err.toStdString();
        const CtlRun z = RunCtl({"z", "--if-due"}, environment);
        EXPECT_EQ(z.Status, 3) << kind;
        EXPECT_TRUE(z.Err.contains(problem)) << z.Err.toStdString();
        QString error;
        EXPECT_FALSE(
            Journal(path).Append(Record("z", "answered", QDateTime::currentDateTime()), error));
        EXPECT_TRUE(error.contains(kind)) << error.toStdString();
    };
    ASSERT_EQ(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    check("a FIFO");
    QFile::remove(path);
    ASSERT_TRUE(QFile::link("/dev/zero", path));
    check("a device");
    struct stat st
    {
    };
    EXPECT_TRUE(stat("/dev/zero", &st) == 0 && S_ISCHR(st.st_mode));
    QFile::remove(path);
    ASSERT_TRUE(QDir().mkpath(path));
    check("a directory");
}

TEST(History, ShowsTheJournalAsATableCsvAndJsonLinesWarningOfADamagedLine)
{
    const QTemporaryDir state;
    const Journal journal(state.filePath("orvalen/journal.jsonl"));
    QString error;
    ASSERT_TRUE(journal.Append(Record("z", "answered", QDateTime::currentDateTime()), error));
    AppendRaw(journal.Path(), "not json\n");
    ASSERT_TRUE(journal.Append(Record("clock", "refused", QDateTime::currentDateTime()), error));

    const CtlRun table = RunCtl({"history"}, WithState(state.path()));
    EXPECT_EQ(table.Status, 0);
    EXPECT_EQ(table.Out.count('\n'), 3) << table.Out.toStdString();
    EXPECT_TRUE(table.Out.split('\n')[2].contains("refused"));
    EXPECT_TRUE(table.Err.contains("line 2")) << table.Err.toStdString();

    const CtlRun csv = RunCtl({"history", "--csv"}, WithState(state.path()));
    const QStringList rows = csv.Out.trimmed().split('\n');
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0], "time,command,port,device,serial,result,reply_hex");
    EXPECT_TRUE(rows[1].endsWith(",z,COM3,/dev/ttyS2,RTTY012345,answered,028103"));

    const CtlRun json = RunCtl({"history", "--json"}, WithState(state.path()));
    const QStringList lines = json.Out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(QJsonDocument::fromJson(lines[1].toUtf8()).object()["command"].toString(), "clock");
}

TEST(History, ZIfDueAfterARecentZSendsNothingAndRecordsTheSkip)
{
    const QTemporaryDir state;
    Remember(state.path());
    const Journal journal(state.filePath("orvalen/journal.jsonl"));
    QString error;
    ASSERT_TRUE(journal.Append(Record("z", "answered", QDateTime::currentDateTime().addSecs(-3600)),
                               error));

    const CtlRun run = RunCtl({"--json", "z", "--if-due"}, WithState(state.path()));
    EXPECT_EQ(run.Status, 0) << run.Err.toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(run.Out.toUtf8()).object()["result"].toString(), "skipped");
    const Journal::Contents contents = journal.ReadAll();
    ASSERT_EQ(contents.Records.size(), 2);
    EXPECT_EQ(contents.Records[1].Result, "skipped");
}
