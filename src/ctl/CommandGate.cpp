#include "ctl/CommandGate.h"

#include "ctl/PrinterJobs.h"
#include "ctl/StopSignals.h"
#include "printer/Journal.h"

#include <chrono>

namespace {

// A Z answered this recently is today's: one done by hand in the evening stops the timer's, a
// catch-up one in the morning after a night with the computer off does not stop the evening's.
constexpr std::chrono::hours ZInterval{12};

} // namespace

QString StoppedReason(const Options& options, const StopSignals& stops)
{
    return Ctl::tr("stopped by %1: the %2 command was not sent")
        .arg(stops.Name(), CommandName(options.Job));
}

bool RecentZTold(const Journal& journal, const QString& serial, const Console& console)
{
    QString error;
    const std::optional<JobRecord> recent = RecentAnsweredZ(
        journal, serial, QDateTime::currentDateTime(), std::chrono::seconds(ZInterval), error);
    // A journal that cannot be read tells nothing: the day's Z is not left out for it.
    if (!error.isEmpty())
        console.Message(
            Ctl::tr("cannot read the journal (%1): the Z report is sent as due").arg(error));
    if (!recent)
        return false;
    console.Message(Ctl::tr("a Z report of the printer %1 was printed at %2; nothing sent")
                        .arg(serial, recent->Time.toString(Qt::ISODate)));
    return true;
}

bool CommandGate::Pass(JobOutcome& at)
{
    if (stops_.Received()) {
        at.Result = JobResult::Stopped;
        at.Reason = StoppedReason(options_, stops_);
        return false;
    }
    if (options_.Job != Options::Command::Z)
        return sent_ = true;
    // With a printer remembered the journal was looked at before the port was opened; on a
    // first run only the printer's answer tells whose Z would count.
    if (options_.IfDue && !target_.Remembered.IsKnown() &&
        RecentZTold(journal_, at.Serial, console_)) {
        at.Result = JobResult::Skipped;
        at.Reason.clear();
        return false;
    }
    JobOutcome sending = at;
    sending.Result = JobResult::Sending;
    sending.Reply.clear(); // the Z's reply is still to come
    const JobRecord record = RecordOf(options_.Job, sending);
    // Not recorded is no reason to leave the day's Z out: a Z twice is better than none.
    QString error;
    if (!journal_.Append(record, error))
        console_.Message(Ctl::tr("the Z report about to go out could not be recorded in the "
                                 "journal first (%1); it is sent all the same")
                             .arg(error));
    return sent_ = true;
}
