// The printer jobs on the printer link, as the window drives it: the port is opened (or the
// printer searched for), the status request goes first, then the job's own command. Everything
// runs on this thread; the link's waits let the event loop run and the poll tick collects the
// reply meanwhile.
#include "ctl/PrinterJobs.h"

#include "printer/Payloads.h"
#include "printer/PortRefusals.h"
#include "printer/PrinterLink.h"
#include "printer/Reply.h"
#include "runtime/DateTime.h"
#include "runtime/ErrorReport.h"
#include "runtime/Timer.h"
#include "serial/VaComm.h"

#include <QFile>
#include <QStringList>

namespace {

QString ComName(int com)
{
    return QStringLiteral("COM%1").arg(com);
}

// "COM3 (/dev/ttyS2)", or the device file alone when the port has no COM name.
QString Where(const QString& port, const QByteArray& device)
{
    const QString path = QFile::decodeName(device);
    if (port.isEmpty())
        return path;
    return path.isEmpty() ? port : QStringLiteral("%1 (%2)").arg(port, path);
}

QString Where(const JobOutcome& outcome)
{
    return Where(outcome.Port, outcome.Device);
}

// The window's refusal line in the user's language, with what to do about it.
QString RefusalText(const PortRefusal& refusal, const QString& where)
{
    switch (refusal.Why) {
    case PortRefusal::Reason::Permission:
        return Ctl::tr("%1: permission denied; add your user to the %2 group: sudo usermod -aG %2 "
                       "%3, then log out and in again")
            .arg(where, refusal.Group, CurrentUserName());
    case PortRefusal::Reason::Busy:
        if (refusal.Holders.isEmpty())
            return Ctl::tr("%1: busy: another program holds it; ModemManager and brltty often take "
                           "serial ports")
                .arg(where);
        return Ctl::tr("%1: busy: held by %2; try again once it has ended")
            .arg(where, HolderNames(refusal.Holders));
    case PortRefusal::Reason::Other:
        break;
    }
    return Ctl::tr("%1: cannot be opened: %2").arg(where, refusal.Detail);
}

JobOutcome Failed(JobOutcome outcome, JobResult result, const QString& reason)
{
    outcome.Result = result;
    outcome.Reason = reason;
    outcome.Reached = false;
    return outcome;
}

// The link with its poll tick, for the life of one job: the port closes when it ends.
class Session
{
public:
    explicit Session(const JobContext& context) : link_(context.Traffic)
    {
        link_.StopRequested = context.StopRequested;
        // Created after the clock's speed-up is known (it is read from the environment at the
        // first look at the clock), as the window creates its poll timer.
        poll_.SetInterval(TPrinterLink::PollIntervalMs);
        poll_.OnTimer = [this](QObject*) {
            // A read that fails is a device gone or broken: the exchange that waits for the
            // reply ends at its limit, and the job says why.
            try {
                link_.Poll();
            } catch (const std::exception& error) {
                Keep(error);
            }
        };
        // What the port's event handling meets (a device gone between ticks) is the job's to
        // tell, with its reason, rather than a bare line on stderr.
        SetErrorReportHook([this](const QString& text) {
            if (error_.isEmpty())
                error_ = text;
        });
        const Console& out = context.Out;
        QObject::connect(&link_, &TPrinterLink::PortTried, [&out](int com) {
            const QString name = ComName(com);
            out.Progress(Ctl::tr("trying %1").arg(Where(name, DevicePathOfCom(name))));
        });
        QObject::connect(&link_, &TPrinterLink::PortRefused, [&out](const PortRefusal& refusal) {
            out.Message(RefusalText(refusal, Where(refusal.ComName, refusal.DevicePath)));
        });
    }

    ~Session() { SetErrorReportHook({}); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    TPrinterLink& Link() { return link_; }

    void Open(const JobOutcome& where)
    {
        error_.clear();
        if (where.Port.isEmpty())
            link_.OpenDevice(where.Device);
        else
            link_.OpenCom(where.Port.mid(3).toInt());
    }

    // The search leaves the port open on the printer found; what failed on the ports tried
    // before it is no fault of that port.
    TSearchResult Search()
    {
        const TSearchResult found = link_.Search();
        error_.clear();
        return found;
    }

    // The exchange; false when no ETX came. An error of the port ends it and is kept for
    // FailureReason.
    bool Send(const QByteArray& payload)
    {
        try {
            return link_.Send(payload);
        } catch (const std::exception& error) {
            Keep(error);
            return false;
        }
    }

    // The port failed or closed under the job (the device hung up or went away).
    bool Failed() const { return !link_.Port()->Active() || !error_.isEmpty(); }
    QString FailureReason(const JobOutcome& at) const
    {
        if (link_.Port()->Active())
            return QStringLiteral("%1: %2").arg(Where(at), error_);
        if (error_.isEmpty())
            return Ctl::tr("%1 hung up or went away during the job").arg(Where(at));
        return Ctl::tr("%1 hung up or went away during the job: %2").arg(Where(at), error_);
    }

private:
    void Keep(const std::exception& error)
    {
        if (error_.isEmpty())
            error_ = ErrorText(error);
    }

    TPrinterLink link_;
    TTimer poll_;
    QString error_; // the first error of the port met since it was opened
};

// Takes the serial number from the status reply in the link and checks it against the remembered
// one when the job must.
JobOutcome Identified(Session& session, JobOutcome at, const RememberedPrinter* expected)
{
    at.Reply = session.Link().Reply();
    at.Serial = ShowBytes(SerialNumberOf(at.Reply));
    if (expected && at.Serial != expected->Serial)
        return Failed(at, JobResult::OtherPrinter,
                      Ctl::tr("%1: the printer there has serial number %2, not %3 as remembered; "
                              "nothing but the status request was sent (run 'orvalenctl find' to "
                              "use this printer from now on)")
                          .arg(Where(at), at.Serial, expected->Serial));
    at.Result = JobResult::Answered;
    at.Reached = true;
    return at;
}

// Searches COM1..COM20 as the window does, leaving the port open on the printer found.
JobOutcome Search(Session& session, const RememberedPrinter* expected)
{
    const TSearchResult found = session.Search();
    if (!found.Found) {
        for (const PortRefusal& refusal : found.Refusals) {
            // The printer may well be behind a port this user may not open or another program
            // holds: that is the fault to mend, not a missing printer.
            if (refusal.Why != PortRefusal::Reason::Other)
                return Failed({}, JobResult::CannotOpen,
                              Ctl::tr("no printer answered on the ports that could be opened; "
                                      "the refused ones are named above"));
        }
        return Failed({}, JobResult::NotFound, Ctl::tr("no printer answered on COM1 to COM20"));
    }
    JobOutcome at;
    at.Port = ComName(found.Com);
    at.Device = DevicePathOfCom(at.Port);
    return Identified(session, at, expected);
}

// Reaches the printer the job may use and leaves the port open on it, its status reply in the
// link: the port given or remembered when the printer answers there, else (remembered port
// missing or silent, or nothing remembered) the one a search finds. A printer with another
// serial number than the remembered one is never reached.
JobOutcome Reach(Session& session, const JobContext& context, bool checkSerial)
{
    const PrinterTarget& target = context.Target;
    const RememberedPrinter* expected =
        checkSerial && target.Remembered.IsKnown() ? &target.Remembered : nullptr;
    if (target.MustSearch())
        return Search(session, expected);

    JobOutcome at;
    at.Port = target.Port;
    at.Device = target.Device;
    try {
        session.Open(at);
    } catch (const std::exception& error) {
        const std::optional<PortRefusal> refusal =
            RefusalOf(at.Port.isEmpty() ? QFile::decodeName(at.Device) : at.Port, error);
        if (refusal)
            return Failed(at, JobResult::CannotOpen, RefusalText(*refusal, Where(at)));
        if (target.Given)
            return Failed(
                at, JobResult::CannotOpen,
                Ctl::tr("%1: no such device; 'orvalenctl ports' lists the ports there are")
                    .arg(Where(at)));
        // An adapter unplugged, or plugged in again under another number.
        context.Out.Message(
            Ctl::tr("%1 is missing; searching COM1 to COM20 for the printer").arg(Where(at)));
        return Search(session, expected);
    }
    const bool answered = session.Send(PayloadEstado());
    if (session.Failed())
        return Failed(at, JobResult::NoReply, session.FailureReason(at));
    if (answered)
        return Identified(session, at, expected);
    if (target.Given)
        return Failed(at,
                      context.Asked.Job == Options::Command::Find ? JobResult::NotFound
                                                                  : JobResult::NoReply,
                      Ctl::tr("%1: no reply to the status request").arg(Where(at)));
    context.Out.Message(
        Ctl::tr("%1 does not answer; searching COM1 to COM20 for the printer").arg(Where(at)));
    return Search(session, expected);
}

// How the printer took the job's command.
using Judge = JobResult (*)(const QByteArray& reply);

JobResult AnsweredIfEnded(const QByteArray& reply)
{
    return ReplyEnded(reply) ? JobResult::Answered : JobResult::NoReply;
}

// As the window judges its clock setting: accepted unless nothing came or the printer wrote ERRO.
JobResult JudgeClock(const QByteArray& reply)
{
    if (!HasAnswer(reply))
        return JobResult::NoReply;
    return DateTimeRefused(reply) ? JobResult::Refused : JobResult::Accepted;
}

// Reaches the printer, then sends the command built at that moment.
template <typename MakePayload>
JobOutcome RunCommand(const JobContext& context, MakePayload makePayload, Judge judge)
{
    Session session(context);
    JobOutcome at = Reach(session, context, true);
    if (!at.Reached)
        return at;
    if (session.Failed())
        return Failed(at, JobResult::NoReply, session.FailureReason(at));
    if (!context.BeforeCommand(at))
        return at;
    session.Send(makePayload());
    at.Reply = session.Link().Reply();
    at.Result = judge(at.Reply);
    switch (at.Result) {
    case JobResult::Answered:
    case JobResult::Accepted:
        // Taken, even if the port went away in the settling pause after the reply.
        break;
    case JobResult::Refused:
        at.Reason = Ctl::tr("%1: the printer refused it").arg(Where(at));
        break;
    default:
        at.Result = JobResult::NoReply;
        at.Reason =
            session.Failed() ? session.FailureReason(at) : Ctl::tr("%1: no reply").arg(Where(at));
        break;
    }
    return at;
}

// An error the port raises outside an exchange (a close that fails during the search) ends the
// job as one the printer did not answer, with its text.
template <typename Body> JobOutcome Guarded(const JobContext& context, Body body)
{
    try {
        return body();
    } catch (const std::exception& error) {
        JobOutcome outcome;
        outcome.Port = context.Target.Port;
        outcome.Device = context.Target.Device;
        return Failed(outcome, JobResult::NoReply, ErrorText(error));
    }
}

} // namespace

JobOutcome FindPrinter(const JobContext& context)
{
    return Guarded(context, [&] {
        Session session(context);
        return Reach(session, context, false);
    });
}

JobOutcome RequestStatus(const JobContext& context)
{
    return Guarded(context, [&] {
        Session session(context);
        return Reach(session, context, true);
    });
}

JobOutcome PrintZReport(const JobContext& context)
{
    return Guarded(context, [&] { return RunCommand(context, PayloadReporteZ, AnsweredIfEnded); });
}

JobOutcome SetPrinterClock(const JobContext& context)
{
    return Guarded(context, [&] {
        return RunCommand(
            context,
            [] {
                // One reading for both fields, as the window's Finish: two readings around
                // midnight could pair the old day with the new day's time.
                const TDateTime now = Now();
                int year = 0, month = 0, day = 0;
                int hour = 0, min = 0, sec = 0, msec = 0;
                DecodeDate(now, year, month, day);
                DecodeTime(now, hour, min, sec, msec);
                return PayloadFechaHora(CampoFecha(year, month, day), CampoHora(hour, min, sec));
            },
            JudgeClock);
    });
}
