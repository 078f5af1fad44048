#include "ctl/Schedule.h"

#include "printer/Journal.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStringDecoder>
#include <QTemporaryDir>

namespace {

// schtasks answers in UTF-16 when it prints a task's XML, in the console's 8-bit code page
// otherwise.
QString ToolText(const QByteArray& bytes)
{
    if (bytes.startsWith("\xff\xfe") || (bytes.size() > 1 && bytes.at(1) == '\0'))
        return QStringDecoder(QStringConverter::Utf16LE)(bytes);
    QStringDecoder utf8(QStringConverter::Utf8);
    const QString text = utf8(bytes);
    return utf8.hasError() ? QString::fromLocal8Bit(bytes) : text;
}

// "what happened: what schtasks said", when it said something.
QString WithDetail(const QString& text, const QString& detail)
{
    return detail.isEmpty() ? text : text + QStringLiteral(": ") + detail;
}

} // namespace

ExitStatus SystemdTimerSchedule::Install(const Console& console) const
{
    return Show(console);
}

ExitStatus SystemdTimerSchedule::Remove(const Console& console) const
{
    console.Message(Ctl::tr("on Linux the systemd user timer runs the daily Z; turn it off with"));
    console.Result(QStringLiteral("systemctl --user disable --now orvalen-daily-z.timer"));
    return ExitStatus::Unchanged;
}

ExitStatus SystemdTimerSchedule::Show(const Console& console) const
{
    console.Message(
        Ctl::tr("on Linux the systemd user timer runs the daily Z at 23:50 (see "
                "'man orvalenctl'); turn it on, and keep it running after logout, with"));
    console.Result(QStringLiteral("systemctl --user enable --now orvalen-daily-z.timer"));
    console.Result(QStringLiteral("sudo loginctl enable-linger $USER"));
    console.Message(Ctl::tr("its next run:"));
    console.Result(QStringLiteral("systemctl --user list-timers orvalen-daily-z.timer"));
    return ExitStatus::Unchanged;
}

TaskSchedulerSchedule::TaskSchedulerSchedule(QString schtasks, QString taskName, DailyTask task)
    : schtasks_(std::move(schtasks)), taskName_(std::move(taskName)), task_(std::move(task))
{
}

std::unique_ptr<TaskSchedulerSchedule> TaskSchedulerSchedule::ForThisUser()
{
    // By its full path: a schtasks.exe in the current folder or on PATH is not the system's.
    const QString system = qEnvironmentVariable("SystemRoot", QStringLiteral("C:\\Windows"));
    const QString user = qEnvironmentVariable("USERNAME");
    const QString domain = qEnvironmentVariable("USERDOMAIN");
    DailyTask task;
    task.Program = QDir::toNativeSeparators(QCoreApplication::applicationDirPath() +
                                            QStringLiteral("/orvalenctlw.exe"));
    task.TrafficLog = QDir::toNativeSeparators(QFileInfo(Journal::DefaultPath()).absolutePath() +
                                               QStringLiteral("/traffic.log"));
    task.UserId = domain.isEmpty() ? user : domain + QLatin1Char('\\') + user;
    task.FirstDay = QDate::currentDate();
    return std::make_unique<TaskSchedulerSchedule>(
        QDir::toNativeSeparators(system + QStringLiteral("/System32/schtasks.exe")),
        QStringLiteral("Orvalen daily Z (%1)").arg(user), std::move(task));
}

TaskSchedulerSchedule::Outcome TaskSchedulerSchedule::Schtasks(const QStringList& arguments) const
{
    QProcess process;
    // schtasks asks on the console before it replaces anything; nobody answers here.
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(schtasks_, arguments);
    Outcome outcome;
    if (!process.waitForFinished(60000)) {
        outcome.Err = process.errorString();
        process.kill();
        process.waitForFinished(5000);
        return outcome;
    }
    outcome.Ran = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    outcome.Out = ToolText(process.readAllStandardOutput()).trimmed();
    outcome.Err = ToolText(process.readAllStandardError()).trimmed();
    return outcome;
}

std::optional<QString> TaskSchedulerSchedule::InstalledXml(QString& why) const
{
    // Judged by the XML itself, not by the exit code alone: an schtasks without /Query (Wine's)
    // ends with 0 and prints nothing.
    const Outcome query = Schtasks(
        {QStringLiteral("/Query"), QStringLiteral("/TN"), taskName_, QStringLiteral("/XML")});
    why = query.Err;
    if (!query.Ran || query.Out.isEmpty())
        return std::nullopt;
    return query.Out;
}

ExitStatus TaskSchedulerSchedule::Install(const Console& console) const
{
    QString why;
    if (InstalledXml(why)) {
        console.Message(Ctl::tr("the task '%1' is already installed; nothing changed "
                                "('orvalenctl schedule remove' first to install it anew)")
                            .arg(taskName_));
        return ExitStatus::Unchanged;
    }
    // The traffic log's folder must be there at 23:50: a log that cannot be opened stops the job.
    QDir().mkpath(QFileInfo(task_.TrafficLog).absolutePath());
    QTemporaryDir folder;
    QFile file(folder.filePath(QStringLiteral("orvalen-daily-z.xml")));
    if (!folder.isValid() || !file.open(QIODevice::WriteOnly) ||
        file.write(DailyTaskXml(task_).Utf16()) < 0 || !file.flush()) {
        console.Message(Ctl::tr("cannot write the task's XML: %1").arg(file.errorString()));
        return ExitStatus::Refused;
    }
    file.close();
    const Outcome created =
        Schtasks({QStringLiteral("/Create"), QStringLiteral("/TN"), taskName_,
                  QStringLiteral("/XML"), QDir::toNativeSeparators(file.fileName())});
    if (!created.Ran) {
        console.Message(WithDetail(
            Ctl::tr("the Task Scheduler did not add the task '%1'").arg(taskName_), created.Err));
        return ExitStatus::Refused;
    }
    console.Result(Ctl::tr("installed: '%1', every day at 23:50 (or as soon as the computer is on "
                           "after a missed run): orvalenctl z --if-due, then orvalenctl clock")
                       .arg(taskName_));
    return ExitStatus::Done;
}

ExitStatus TaskSchedulerSchedule::Remove(const Console& console) const
{
    // Deleted first, then asked why it failed: a missing task is no failure.
    const Outcome deleted = Schtasks(
        {QStringLiteral("/Delete"), QStringLiteral("/TN"), taskName_, QStringLiteral("/F")});
    if (deleted.Ran) {
        console.Result(Ctl::tr("removed: '%1'").arg(taskName_));
        return ExitStatus::Done;
    }
    QString why;
    if (!InstalledXml(why)) {
        console.Message(WithDetail(
            Ctl::tr("there is no task '%1' to remove; nothing changed").arg(taskName_), why));
        return ExitStatus::Unchanged;
    }
    console.Message(WithDetail(
        Ctl::tr("the Task Scheduler did not remove the task '%1'").arg(taskName_), deleted.Err));
    return ExitStatus::Refused;
}

ExitStatus TaskSchedulerSchedule::Show(const Console& console) const
{
    QString why;
    const std::optional<QString> xml = InstalledXml(why);
    if (!xml) {
        console.Message(WithDetail(Ctl::tr("the task '%1' is not installed ('orvalenctl schedule "
                                           "install' adds it)")
                                       .arg(taskName_),
                                   why));
        return ExitStatus::Unchanged;
    }
    console.Result(*xml);
    return ExitStatus::Done;
}

std::unique_ptr<Schedule> SystemSchedule()
{
#ifdef Q_OS_WIN
    return TaskSchedulerSchedule::ForThisUser();
#else
    return std::make_unique<SystemdTimerSchedule>();
#endif
}

ExitStatus RunSchedule(ScheduleAction action, const Schedule& schedule, const Console& console)
{
    switch (action) {
    case ScheduleAction::Install:
        return schedule.Install(console);
    case ScheduleAction::Remove:
        return schedule.Remove(console);
    case ScheduleAction::Show:
        break;
    }
    return schedule.Show(console);
}
