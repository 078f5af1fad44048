// The printer layer's Win32 side: what a failed open of a port means, the journal's lock and
// the traffic log's appending, under Wine.
#include "printer/Journal.h"
#include "printer/PortRefusals.h"
#include "printer/TrafficFormat.h"
#include "printer/TrafficLog.h"
#include "printer/TrafficRecord.h"
#include "serial/VaComm.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <windows.h>

namespace {

QByteArray Contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Put(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

TEST(Win32PortRefusals, NoPortIsNoNewsAndAHeldPortIsBusyWithoutLinuxAdvice)
{
    const auto refusal = [](int error) {
        return RefusalOf(QStringLiteral("COM5"), EVaCommError(QStringLiteral("Error"), error));
    };
    EXPECT_FALSE(refusal(ERROR_FILE_NOT_FOUND).has_value());
    const std::optional<PortRefusal> held = refusal(ERROR_ACCESS_DENIED);
    ASSERT_TRUE(held.has_value());
    EXPECT_EQ(held->Why, PortRefusal::Reason::Busy);
    EXPECT_EQ(RefusalLine(*held), QStringLiteral("orvalen: COM5: busy: another program holds it"));
    const QString advice = RefusalAdvice({*held}, QStringLiteral("ana"));
    EXPECT_TRUE(advice.contains(QStringLiteral("    COM5\n"))) << advice.toStdString();
    for (const char* linuxOnly : {"dialout", "usermod", "ModemManager", "/dev/"})
        EXPECT_FALSE(advice.contains(QLatin1String(linuxOnly))) << advice.toStdString();
}

TEST(Win32Journal, LivesInLocalAppData)
{
    qputenv("LOCALAPPDATA", "C:\\Users\\ana\\AppData\\Local");
    EXPECT_EQ(Journal::DefaultPath(),
              QStringLiteral("C:/Users/ana/AppData/Local/Orvalen/journal.jsonl"));
}

// Another writer's LockFileEx keeps the line out, and the journal as it was, until it lets go;
// the line then starts on its own after a line that a dead writer left unfinished.
TEST(Win32Journal, AnotherWritersLockHoldsTheLineBackUntilReleased)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("journal.jsonl"));
    const QByteArray unfinished = "{\"command\":\"z\",\"ti";
    Put(path, unfinished);
    HANDLE other = CreateFileW(QDir::toNativeSeparators(path).toStdWString().c_str(),
                               GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    OVERLAPPED whole{};
    ASSERT_TRUE(LockFileEx(other, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole));

    JobRecord record;
    record.Command = QStringLiteral("clock");
    record.Time = QDateTime::currentDateTime();
    record.Port = QStringLiteral("COM3");
    record.Result = ResultName(JobResult::Accepted);
    const Journal journal(path);
    QString error;
    EXPECT_EQ(journal.TryAppend(record, error), Journal::Appended::Locked);
    EXPECT_TRUE(error.contains(QStringLiteral("locked by another program"))) << error.toStdString();

    UnlockFileEx(other, 0, MAXDWORD, MAXDWORD, &whole);
    CloseHandle(other);
    EXPECT_EQ(Contents(path), unfinished);
    ASSERT_TRUE(journal.Append(record, error, std::chrono::seconds(5))) << error.toStdString();
    const QList<QByteArray> lines = Contents(path).split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], unfinished);
    const auto written = JobRecord::FromJson(QJsonDocument::fromJson(lines[1]).object());
    ASSERT_TRUE(written.has_value());
    EXPECT_EQ(written->Command, record.Command);
    EXPECT_EQ(lines[2], QByteArray());
}

TEST(Win32TrafficLog, AppendsWholeLinesAfterWhatTheFileHeld)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("traffic.log"));
    Put(path, "earlier run\n");
    QString error;
    std::unique_ptr<TTrafficLog> log = TTrafficLog::Open(path, error);
    ASSERT_TRUE(log) << error.toStdString();
    TTrafficEntry sent;
    sent.Time = QDateTime::currentDateTime();
    sent.Direction = TTrafficDirection::ToPrinter;
    sent.Bytes = QByteArray("\x02\x20\x38\x03\x30\x30\x35\x44", 8);
    TTrafficEntry event;
    event.Time = sent.Time;
    event.Text = QStringLiteral("Evaluando COM3");
    log->Write(sent);
    log->Write(event);
    ASSERT_TRUE(log->Drain(std::chrono::seconds(10)));
    log.reset();
    EXPECT_EQ(Contents(path), "earlier run\n" + TrafficLine(sent).toUtf8() + '\n' +
                                  TrafficLine(event).toUtf8() + '\n');
}
