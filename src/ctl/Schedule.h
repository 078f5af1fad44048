#pragma once

#include "ctl/Console.h"
#include "ctl/DailyTaskXml.h"
#include "ctl/Options.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// Where the system keeps the daily task: the Task Scheduler on Windows; on Linux the systemd
// user timer does the scheduling and these only say how to use it.
class Schedule
{
public:
    virtual ~Schedule() = default;
    virtual ExitStatus Install(const Console& console) const = 0;
    virtual ExitStatus Remove(const Console& console) const = 0;
    virtual ExitStatus Show(const Console& console) const = 0;
};

class SystemdTimerSchedule final : public Schedule
{
public:
    ExitStatus Install(const Console& console) const override;
    ExitStatus Remove(const Console& console) const override;
    ExitStatus Show(const Console& console) const override;
};

// The Task Scheduler through schtasks.exe, one task per user. A task that is already there is
// not replaced, and one that is not there is not removed: both say so and end with Unchanged.
class TaskSchedulerSchedule final : public Schedule
{
public:
    TaskSchedulerSchedule(QString schtasks, QString taskName, DailyTask task);

    ExitStatus Install(const Console& console) const override;
    ExitStatus Remove(const Console& console) const override;
    ExitStatus Show(const Console& console) const override;

    // The task as this computer's user gets it: the windowless orvalenctl beside this program,
    // the traffic log beside the journal.
    static std::unique_ptr<TaskSchedulerSchedule> ForThisUser();

private:
    struct Outcome
    {
        bool Ran = false; // started and ended by itself, exit code 0
        QString Out;
        QString Err; // or why it did not run
    };
    Outcome Schtasks(const QStringList& arguments) const;
    // The task as schtasks prints it, when there is one; else what schtasks said in `why`.
    std::optional<QString> InstalledXml(QString& why) const;

    QString schtasks_;
    QString taskName_;
    DailyTask task_;
};

std::unique_ptr<Schedule> SystemSchedule();

ExitStatus RunSchedule(ScheduleAction action, const Schedule& schedule, const Console& console);
