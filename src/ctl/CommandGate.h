#pragma once

#include "ctl/Console.h"
#include "ctl/Options.h"

class Journal;
class StopSignals;
struct JobOutcome;
struct PrinterTarget;

// What is asked once the printer is reached and its serial number checked, just before the job's
// own command goes out: whether it may still go, and for a Z, the journal line that says it is
// being sent. That line is written before the frame, so that a job killed outright (SIGKILL, a
// power cut) still leaves a trace; `history` shows such a Z as interrupted, and `z --if-due`
// does not count it.
class CommandGate
{
public:
    CommandGate(const Options& options, const PrinterTarget& target, const Journal& journal,
                const Console& console, const StopSignals& stops)
        : options_(options), target_(target), journal_(journal), console_(console), stops_(stops)
    {
    }

    // True when the command may go out. Otherwise `at` says how the job ended: stopped by a
    // signal, or (z --if-due on a first run, when only now the serial number is known) skipped.
    bool Pass(JobOutcome& at);

    // Whether Pass let the command go out.
    bool CommandSent() const { return sent_; }

private:
    const Options& options_;
    const PrinterTarget& target_;
    const Journal& journal_;
    const Console& console_;
    const StopSignals& stops_;
    bool sent_ = false;
};

// The message for a job that a signal stopped before its command went out.
QString StoppedReason(const Options& options, const StopSignals& stops);

// z --if-due: the Z of the printer with this serial number answered in the last hours, told on
// stderr; nothing when there is none (or the serial number is unknown).
bool RecentZTold(const Journal& journal, const QString& serial, const Console& console);
