#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>

#include <utility>

// What the Task Scheduler needs to run the daily jobs for one user.
struct DailyTask
{
    QString Program;    // the windowless orvalenctl, a full native path
    QString TrafficLog; // where both jobs append the bytes exchanged
    QString UserId;     // DOMAIN\user, whose desktop session runs the task
    QDate FirstDay;     // the first 23:50; later days follow from it
};

// The daily task in the Task Scheduler's XML form (schema 1.2), the way `schtasks /Create /XML`
// reads it: UTF-16 with a byte-order mark.
//
// Two actions run one after the other: `z --if-due`, then `clock`. The Scheduler starts an
// action once the one before it has ended, whatever its exit code, so the clock is set even when
// the Z failed, as the Linux timer's one shell does; each action's exit code is in the task's
// history. A run missed while the computer was off starts when it next can (StartWhenAvailable,
// the timer's Persistent=true).
class DailyTaskXml
{
public:
    explicit DailyTaskXml(DailyTask task) : task_(std::move(task)) {}

    QString Text() const;
    QByteArray Utf16() const;

private:
    DailyTask task_;
};
