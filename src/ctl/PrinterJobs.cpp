#include "ctl/PrinterJobs.h"

#include "ctl/CommandGate.h"
#include "ctl/StopSignals.h"
#include "platform/DevicePath.h"
#include "printer/Journal.h"
#include "printer/TrafficLog.h"
#include "printer/TrafficRecord.h"

#include <QFile>
#include <QJsonDocument>

#include <chrono>
#include <memory>

namespace {

JobOutcome Skip(const PrinterTarget& target)
{
    JobOutcome outcome;
    outcome.Result = JobResult::Skipped;
    outcome.Port = target.Port.isEmpty() ? target.Remembered.Port : target.Port;
    outcome.Device = target.Device;
    outcome.Serial = target.Remembered.Serial;
    return outcome;
}

// `find` remembers the printer it reached; the other jobs remember it on a first run (nothing
// remembered yet), and the new port when the remembered printer answered elsewhere.
void Remember(const Options& options, const PrinterTarget& target, const JobOutcome& outcome,
              const Console& console)
{
    if (!outcome.Reached)
        return;
    RememberedPrinter printer;
    printer.Port = outcome.Port.isEmpty() ? QFile::decodeName(outcome.Device) : outcome.Port;
    printer.Serial = outcome.Serial;
    // The settings keep text: a device path that is not text would come back as another path.
    if (outcome.Port.isEmpty() && QFile::encodeName(printer.Port) != outcome.Device) {
        console.Message(Ctl::tr("the printer on %1 was not remembered: its device path is not "
                                "text; give it with --device each time")
                            .arg(printer.Port));
        return;
    }
    if (printer.Serial.isEmpty()) {
        console.Message(Ctl::tr("the printer on %1 gave no serial number: it was not remembered")
                            .arg(printer.Port));
        return;
    }
    const bool known = target.Remembered.IsKnown();
    if (options.Job != Options::Command::Find && known &&
        printer.Serial != target.Remembered.Serial)
        return;
    if (known && printer.Port == target.Remembered.Port &&
        printer.Serial == target.Remembered.Serial)
        return;
    QString error;
    if (!printer.Save(error))
        console.Message(Ctl::tr("the printer on %1 was not remembered: cannot write %2")
                            .arg(printer.Port, error));
}

// z --if-due with a printer remembered: the skip, when the journal holds a Z of that printer
// answered in the last hours. On a first run CommandGate looks, once the printer has answered.
std::optional<JobOutcome> SkipIfNotDue(const Options& options, const PrinterTarget& target,
                                       const Journal& journal, const Console& console)
{
    if (options.Job != Options::Command::Z || !options.IfDue || !target.Remembered.IsKnown())
        return std::nullopt;
    if (!RecentZTold(journal, target.Remembered.Serial, console))
        return std::nullopt;
    return Skip(target);
}

// A job for the remembered printer that reached no printer (the port missing, nothing found) is
// recorded with the printer it was for: a night's failed Z then says which printer missed it.
JobOutcome NamingThePrinter(JobOutcome outcome, const Options& options, const PrinterTarget& target)
{
    if (outcome.Reached || options.Job == Options::Command::Find || !target.Remembered.IsKnown())
        return outcome;
    if (outcome.Port.isEmpty() && outcome.Device.isEmpty()) {
        const bool none = target.Port.isEmpty() && target.Device.isEmpty();
        outcome.Port = none ? target.Remembered.Port : target.Port;
        outcome.Device = target.Device;
    }
    if (outcome.Serial.isEmpty())
        outcome.Serial = target.Remembered.Serial;
    return outcome;
}

JobOutcome RunBody(const JobContext& context)
{
    switch (context.Asked.Job) {
    case Options::Command::Find:
        return FindPrinter(context);
    case Options::Command::Status:
        return RequestStatus(context);
    case Options::Command::Z:
        return PrintZReport(context);
    case Options::Command::Clock:
        return SetPrinterClock(context);
    case Options::Command::Ports:
    case Options::Command::History:
    case Options::Command::Schedule:
        break; // not printer jobs: main runs them
    }
    JobOutcome none;
    none.Reason = QStringLiteral("not a printer job");
    return none;
}

QString TextLine(const JobRecord& record)
{
    QString where = record.Port;
    if (!record.Device.isEmpty())
        where = where.isEmpty()
                    ? QString::fromLocal8Bit(record.Device)
                    : QStringLiteral("%1 (%2)").arg(where, QString::fromLocal8Bit(record.Device));
    const QString result = ResultWord(record.Result);
    QString line = where.isEmpty() ? result : QStringLiteral("%1: %2").arg(where, result);
    if (!record.Serial.isEmpty())
        line += Ctl::tr(", serial %1").arg(record.Serial);
    if (!record.Reply.isEmpty())
        line += Ctl::tr(", reply %1").arg(QString::fromLatin1(record.Reply.toHex(' ')));
    return line;
}

} // namespace

ExitStatus ExitStatusOf(JobResult result)
{
    switch (result) {
    case JobResult::Answered:
    case JobResult::Accepted:
    case JobResult::Skipped:
        return ExitStatus::Done;
    case JobResult::Refused:
    case JobResult::NoReply:
    case JobResult::Sending:
    case JobResult::Stopped: // the program ends by the signal instead
        return ExitStatus::Refused;
    case JobResult::NotFound:
        return ExitStatus::NotFound;
    case JobResult::CannotOpen:
        return ExitStatus::CannotOpen;
    case JobResult::OtherPrinter:
        break;
    }
    return ExitStatus::OtherPrinter;
}

PrinterTarget ChooseTarget(const Options& options, const RememberedPrinter& remembered)
{
    PrinterTarget target;
    target.Remembered = remembered;
    if (!options.Device.isEmpty()) {
        target.Device = options.Device;
        target.Given = true;
    } else if (!options.Port.isEmpty()) {
        target.Port = options.Port;
        target.Given = true;
    } else if (options.Job != Options::Command::Find && remembered.IsKnown()) {
        if (remembered.Port.startsWith(QLatin1Char('/')))
            target.Device = QFile::encodeName(remembered.Port);
        else
            target.Port = remembered.Port;
    }
    if (!target.Port.isEmpty())
        target.Device = DevicePathFor(target.Port.toLatin1()).value_or(QByteArray());
    return target;
}

namespace {

ExitStatus RunJob(const Options& options, const Journal& journal, const Console& console,
                  const StopSignals& stops)
{
    // The log is opened before anything goes to the printer: a log that cannot be written is a
    // usage error, not a surprise after the job.
    TTrafficRecord traffic;
    std::unique_ptr<TTrafficLog> trafficLog;
    if (!options.TrafficLog.isEmpty()) {
        QString error;
        trafficLog = TTrafficLog::Open(options.TrafficLog, error);
        if (!trafficLog) {
            console.Message(error);
            return ExitStatus::Usage;
        }
        trafficLog->Follow(traffic);
    }

    // A settings file that cannot be read would turn the serial number check off: only `find`,
    // which is how the user mends it, runs without it.
    QString settingsProblem;
    const RememberedPrinter remembered = RememberedPrinter::Load(settingsProblem);
    if (!settingsProblem.isEmpty() && options.Job != Options::Command::Find) {
        console.Message(Ctl::tr("%1; nothing was sent. Run 'orvalenctl find' to find the printer "
                                "and remember it anew")
                            .arg(settingsProblem));
        return ExitStatus::Usage;
    }
    if (!settingsProblem.isEmpty())
        console.Message(
            Ctl::tr("%1; find goes on as if no printer were remembered").arg(settingsProblem));
    const PrinterTarget target = ChooseTarget(options, remembered);
    CommandGate gate(options, target, journal, console, stops);
    JobContext context{options, target, console, traffic};
    context.BeforeCommand = [&gate](JobOutcome& at) { return gate.Pass(at); };
    context.StopRequested = [&stops] { return stops.Received(); };

    const std::optional<JobOutcome> skipped = SkipIfNotDue(options, target, journal, console);
    JobOutcome outcome;
    if (skipped)
        outcome = *skipped;
    else if (!stops.Received())
        outcome = RunBody(context);
    else {
        outcome = Skip(target); // nothing begun: the port and serial number it was for
        outcome.Result = JobResult::Stopped;
    }
    // Whatever failed after the signal (a search cut short) is the signal's doing; a command
    // that went out keeps its own result.
    if (stops.Received() && !gate.CommandSent() &&
        ExitStatusOf(outcome.Result) != ExitStatus::Done) {
        outcome.Result = JobResult::Stopped;
        outcome.Reason = StoppedReason(options, stops);
    }
    outcome = NamingThePrinter(outcome, options, target);

    const JobRecord record = RecordOf(options.Job, outcome);
    // Recorded before anything reports success: a Z that is not in the journal would be printed
    // again by the timer.
    QString error;
    if (!journal.Append(record, error))
        console.Message(
            Ctl::tr("this %1 was not recorded in the journal: %2").arg(record.Command, error));
    Remember(options, target, outcome, console);

    if (!outcome.Reason.isEmpty())
        console.Message(outcome.Reason);
    if (options.Json)
        console.Result(
            QString::fromUtf8(QJsonDocument(record.ToJson()).toJson(QJsonDocument::Compact)));
    else
        console.Result(TextLine(record));
    return ExitStatusOf(outcome.Result);
}

} // namespace

JobRecord RecordOf(Options::Command job, const JobOutcome& outcome)
{
    JobRecord record;
    record.Command = CommandName(job);
    record.Time = QDateTime::currentDateTime();
    record.Port = outcome.Port;
    record.Device = outcome.Device;
    record.Serial = outcome.Serial;
    record.Result = ResultName(outcome.Result);
    record.Reply = outcome.Reply;
    return record;
}

ExitStatus RunPrinterJob(const Options& options, const Journal& journal, const Console& console)
{
    StopSignals stops;
    QObject::connect(&stops, &StopSignals::Stopping, [&console](const QString& name) {
        console.Message(Ctl::tr("%1 received: the exchange in progress ends (within 32 s), then "
                                "the job stops; nothing more is sent")
                            .arg(name));
    });
    const ExitStatus status = RunJob(options, journal, console, stops);
    stops.EndIfReceived();
    return status;
}
