#include "printer/JournalWriter.h"

#include "platform/UniqueFd.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>

// The lock held to the window's end: the line is not lost without a word, it is on stderr, whole.
TEST(JournalWriter, ALineStillLockedOutWhenTheWindowClosesIsPrintedOnStderr)
{
    const QTemporaryDir dir;
    const QString path = dir.filePath("journal.jsonl");
    const UniqueFd holder(::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT, 0600));
    ASSERT_EQ(flock(holder.Get(), LOCK_EX), 0);
    JobRecord record;
    record.Command = "z";
    record.Result = "answered";
    record.Time = QDateTime::currentDateTime();
    record.Port = "COM3";
    record.Serial = "ABC1234567";
    testing::internal::CaptureStderr();
    {
        TJournalWriter writer;
        writer.Add(path, record);
        EXPECT_FALSE(writer.Drain(std::chrono::milliseconds(500)));
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("another program holds its lock"), std::string::npos) << err;
    EXPECT_NE(err.find("\"port\":\"COM3\""), std::string::npos) << err;
    EXPECT_NE(err.find("\"serial\":\"ABC1234567\""), std::string::npos) << err;
    EXPECT_EQ(QFile(path).size(), 0);
}
