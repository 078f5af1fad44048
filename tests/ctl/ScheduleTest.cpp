#include "ctl/Schedule.h"
#include "ctl/DailyTaskXml.h"

#include <QFile>
#include <QMultiMap>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

namespace {

DailyTask SomeTask()
{
    return {QStringLiteral("C:\\Program Files\\Orvalen\\orvalenctlw.exe"),
            QStringLiteral("C:\\Users\\ana\\AppData\\Local\\Orvalen\\traffic.log"),
            QStringLiteral("SHOP\\ana"), QDate(2026, 12, 9)};
}

} // namespace

// The file as schtasks reads it: UTF-16 with its mark, and the elements the Task Scheduler
// requires for a daily run at 23:50 in the user's session, Z first and then the clock.
TEST(Schedule, TheTaskXmlIsWhatTheTaskSchedulerTakes)
{
    const QByteArray bytes = DailyTaskXml(SomeTask()).Utf16();
    ASSERT_TRUE(bytes.startsWith("\xff\xfe"));
    QXmlStreamReader xml(QStringDecoder(QStringConverter::Utf16LE)(bytes));
    QMultiMap<QString, QString> values; // "Task/Settings/StartWhenAvailable" -> "true"
    QStringList path;
    QString rootVersion, rootNamespace;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartDocument()) {
            EXPECT_EQ(xml.documentEncoding(), QStringLiteral("UTF-16"));
        }
        if (xml.isStartElement()) {
            if (path.isEmpty()) {
                rootVersion = xml.attributes().value(QStringLiteral("version")).toString();
                rootNamespace = xml.namespaceUri().toString();
            }
            path.append(xml.name().toString());
        } else if (xml.isEndElement()) {
            path.removeLast();
        } else if (xml.isCharacters() && !xml.isWhitespace()) {
            values.insert(path.join(QLatin1Char('/')), xml.text().toString());
        }
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(rootVersion, QStringLiteral("1.2"));
    EXPECT_EQ(rootNamespace,
              QStringLiteral("http://schemas.microsoft.com/windows/2004/02/mit/task"));

    const auto one = [&](const char* key) { return values.values(QLatin1String(key)); };
    EXPECT_EQ(one("Task/Triggers/CalendarTrigger/StartBoundary"),
              QStringList{QStringLiteral("2026-12-09T23:50:00")});
    EXPECT_EQ(one("Task/Triggers/CalendarTrigger/ScheduleByDay/DaysInterval"),
              QStringList{QStringLiteral("1")});
    EXPECT_EQ(one("Task/Settings/StartWhenAvailable"), QStringList{QStringLiteral("true")});
    EXPECT_EQ(one("Task/Settings/Enabled"), QStringList{QStringLiteral("true")});
    EXPECT_EQ(one("Task/Principals/Principal/LogonType"),
              QStringList{QStringLiteral("InteractiveToken")});
    EXPECT_EQ(one("Task/Principals/Principal/UserId"), QStringList{QStringLiteral("SHOP\\ana")});
    const QString program = QStringLiteral("\"C:\\Program Files\\Orvalen\\orvalenctlw.exe\"");
    EXPECT_EQ(one("Task/Actions/Exec/Command"), (QStringList{program, program}));
    // QMultiMap gives the values newest first.
    const QString log =
        QStringLiteral(" --traffic-log C:\\Users\\ana\\AppData\\Local\\Orvalen\\traffic.log");
    EXPECT_EQ(one("Task/Actions/Exec/Arguments"),
              (QStringList{QStringLiteral("clock") + log, QStringLiteral("z --if-due") + log}));
}

// Against a stand-in for schtasks.exe that keeps its tasks in a folder: installing twice and
// removing what is not there change nothing and say so with their own status.
TEST(Schedule, InstallingTwiceAndRemovingNothingChangeNothing)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString fake = dir.filePath(QStringLiteral("schtasks"));
    QFile script(fake);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\n"
                 "store=\"$(dirname \"$0\")/tasks\"; mkdir -p \"$store\"\n"
                 "case \"$1 $2 $4\" in\n"
                 "'/Create /TN /XML') [ -e \"$store/$3\" ] && exit 1; cp \"$5\" \"$store/$3\" ;;\n"
                 "'/Query /TN /XML') cat \"$store/$3\" 2>/dev/null || { echo 'ERROR: none' >&2; "
                 "exit 1; } ;;\n"
                 "'/Delete /TN /F') rm \"$store/$3\" 2>/dev/null || exit 1 ;;\n"
                 "*) echo \"bad arguments: $*\" >&2; exit 2 ;;\n"
                 "esac\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const TaskSchedulerSchedule schedule(fake, QStringLiteral("Orvalen daily Z (ana)"), SomeTask());
    const QString stored = dir.filePath(QStringLiteral("tasks/Orvalen daily Z (ana)"));
    const Console console;

    EXPECT_EQ(schedule.Show(console), ExitStatus::Unchanged);
    EXPECT_EQ(schedule.Remove(console), ExitStatus::Unchanged);
    EXPECT_EQ(schedule.Install(console), ExitStatus::Done);
    QFile task(stored);
    ASSERT_TRUE(task.open(QIODevice::ReadOnly));
    EXPECT_EQ(task.readAll(), DailyTaskXml(SomeTask()).Utf16());
    EXPECT_EQ(schedule.Install(console), ExitStatus::Unchanged);
    EXPECT_EQ(schedule.Show(console), ExitStatus::Done);
    EXPECT_EQ(schedule.Remove(console), ExitStatus::Done);
    EXPECT_FALSE(QFile::exists(stored));
    EXPECT_EQ(schedule.Remove(console), ExitStatus::Unchanged);
}
