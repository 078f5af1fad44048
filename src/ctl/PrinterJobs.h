#pragma once

#include "ctl/Console.h"
#include "ctl/Options.h"
#include "ctl/RememberedPrinter.h"
#include "printer/Journal.h"

#include <QByteArray>
#include <QString>

#include <functional>

class TTrafficRecord;

// The exit status of a job that ended so (JobResult: printer/Journal.h).
ExitStatus ExitStatusOf(JobResult result);

// Which printer a job is for: the port on the command line, else the remembered one, else none
// (then the job searches as `find` does and goes on only with the remembered serial number, or
// with what it finds on a first run).
struct PrinterTarget
{
    QString Port;       // "COM3"; empty for --device and for a search
    QByteArray Device;  // the device file; empty for a search
    bool Given = false; // chosen with --port or --device
    RememberedPrinter Remembered;

    bool MustSearch() const { return Device.isEmpty(); }
};

PrinterTarget ChooseTarget(const Options& options, const RememberedPrinter& remembered);

// What a job's body hands back to the common end (journal line, output, exit status).
struct JobOutcome
{
    JobResult Result = JobResult::NoReply;
    QString Port; // where the printer was reached or last tried
    QByteArray Device;
    QString Serial;   // the serial number the printer gave
    QByteArray Reply; // the printer's raw reply to the job's command
    QString Reason;   // for stderr: why it failed and what to do; empty when it went well
    // The status request was answered on Port/Device by a printer the job may use: the one
    // remembered, the one given, or the one a first run found. Only such a printer is remembered.
    bool Reached = false;
};

// The journal line of a job that ended so, written now.
JobRecord RecordOf(Options::Command job, const JobOutcome& outcome);

struct JobContext
{
    const Options& Asked;
    const PrinterTarget& Target;
    const Console& Out;
    TTrafficRecord& Traffic; // what goes over the line (--traffic-log follows it)
    // Asked with the printer reached, just before the job's own command goes out: false keeps
    // it back, and `at` then says how the job ended (CommandGate).
    std::function<bool(JobOutcome& at)> BeforeCommand = [](JobOutcome&) { return true; };
    // A signal asked the job to stop: a search tries no further port.
    std::function<bool()> StopRequested = [] { return false; };
};

// ---- The printer jobs' bodies: PrinterJobBodies.cpp -----------------------------------------
// Each one opens the port (or searches), sends the status request first and compares the serial
// number with Target.Remembered, then sends its own command. `find` compares nothing: it is how
// a user picks the printer.
JobOutcome FindPrinter(const JobContext& context);
JobOutcome RequestStatus(const JobContext& context);
JobOutcome PrintZReport(const JobContext& context);
JobOutcome SetPrinterClock(const JobContext& context);
// ---------------------------------------------------------------------------------------------

// find, status, z, clock: the target, --if-due, the body, then the journal line, the remembered
// printer, the output and the exit status. SIGTERM and SIGINT stop the job at the next point
// where nothing is under way (StopSignals.h); it then ends by that signal.
ExitStatus RunPrinterJob(const Options& options, const Journal& journal, const Console& console);
