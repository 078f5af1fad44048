#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// `schedule install|remove|show`: the daily Z and clock, run by the system every night.
enum class ScheduleAction
{
    Install,
    Remove,
    Show
};

// What the command line asks for.
struct Options
{
    enum class Command
    {
        Ports,
        Find,
        Status,
        Z,
        Clock,
        History,
        Schedule
    };

    Command Job = Command::Ports;
    QString Port;      // --port: "COM3", upper case
    QByteArray Device; // --device: an absolute path
    bool Json = false;
    QString TrafficLog;                               // --traffic-log
    bool IfDue = false;                               // z --if-due
    bool Csv = false;                                 // history --csv
    ScheduleAction Scheduling = ScheduleAction::Show; // schedule ACTION
};

// Either the options, or what to print and the status to end with (--help, --version, a usage
// error: usage on stderr, exit 2).
struct ParsedCommandLine
{
    std::optional<Options> Parsed;
    QString Output; // for stdout
    QString Error;  // for stderr
    int ExitStatus = 0;
};

// `rawArguments` are the same arguments as bytes (argv), for a device path that is not text.
ParsedCommandLine ParseOptions(const QStringList& arguments,
                               const QList<QByteArray>& rawArguments = {});

// "COM1" to "COM20" exactly, in upper case: a port as --port takes it and as it is remembered.
bool IsPortName(const QString& name);

// The command's own name, as typed and as journalled ("z", "history").
QString CommandName(Options::Command command);
