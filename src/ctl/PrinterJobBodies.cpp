// The printer jobs on the printer link, as the window drives it: the port is opened (or the
// printer searched for), the status request goes first, then the job's own command. Everything
// runs on this thread; the link's waits let the event loop run and the poll tick collects the
// reply meanwhile.
//
// Nobody watches these jobs, so they read replies more strictly than the window: a reply counts
// only when it is a frame with the sequence and command byte of the frame sent (AnswerTo), and a
// printer is a device whose status reply carries a serial number (IsSerialNumber). An echo, junk
// that ends in ETX or a reply that came late for an earlier frame is none.
#include "ctl/PortClaim.h"
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
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStringList>

#include <cerrno>

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

// What the port's error means, in words of orvalenctl's own: the port's message names the device
// as the component knows it (\\.\COM7) and reads like its source code ("Error writing dcb").
QString PortProblem(const QString& text, int systemError)
{
    switch (systemError) {
    case 0:
        break;
    case ENOTTY:
        return Ctl::tr("not a serial port");
    case EIO:
    case ENXIO:
    case ENODEV:
        return Ctl::tr("the device went away");
    default:
        return SystemErrorText(systemError);
    }
    static const QRegularExpression comDevice(QStringLiteral(R"(\\\\\.\\(COM\d+))"));
    QString shown = text;
    for (const QRegularExpressionMatch& match : comDevice.globalMatch(text)) {
        const QString com = match.captured(1);
        shown.replace(match.captured(0), Where(com, DevicePathOfCom(com)));
    }
    return shown;
}

QString PortProblem(const std::exception& error)
{
    const auto* portError = dynamic_cast<const EVaCommError*>(&error);
    return PortProblem(ErrorText(error), portError ? portError->SystemError() : 0);
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
    const QString problem = PortProblem(refusal.Detail, refusal.SystemError);
    if (refusal.SystemError == ENOTTY)
        return QStringLiteral("%1: %2").arg(where, problem);
    return Ctl::tr("%1: cannot be opened: %2").arg(where, problem);
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
        link_.AnswerOf = AnswerTo;
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

    ~Session() { RouteWarningsToConsole(); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    TPrinterLink& Link() { return link_; }

    // Claims the port for the rest of the job; false when another job holds it, with `refusal`
    // saying so.
    bool Claim(const JobOutcome& at, QString& refusal)
    {
        if (at.Port.isEmpty())
            return true;
        claim_ = std::make_unique<PortClaim>(at.Port);
        if (claim_->Taken())
            return true;
        refusal = claim_->Holder().isEmpty()
                      ? Ctl::tr("%1: another job is using it; nothing was sent").arg(Where(at))
                      : Ctl::tr("%1: another job is using it (%2); nothing was sent")
                            .arg(Where(at), claim_->Holder());
        return false;
    }

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
            return QStringLiteral("%1: %2").arg(Where(at), PortProblem(error_, 0));
        // The port's text adds nothing but its device name and an error number.
        return Ctl::tr("%1 hung up or went away during the job").arg(Where(at));
    }

private:
    void Keep(const std::exception& error)
    {
        if (error_.isEmpty())
            error_ = PortProblem(error);
    }

    std::unique_ptr<PortClaim> claim_; // released after the port closes
    TPrinterLink link_;
    TTimer poll_;
    QString error_; // the first error of the port met since it was opened
};

// The serial number in the printer's answer to the status request just sent; nothing when no
// answer came or what came is no printer's (an echo, junk, a frame without a serial number).
std::optional<QByteArray> PrinterSerial(const TPrinterLink& link)
{
    const std::optional<QByteArray> status = AnswerTo(link.LastFrame(), link.Reply());
    if (!status || !IsSerialNumber(SerialNumberOf(*status)))
        return std::nullopt;
    return SerialNumberOf(*status);
}

// Takes the serial number from the status reply in the link and checks it against the remembered
// one when the job must.
JobOutcome Identified(Session& session, JobOutcome at, const RememberedPrinter* expected)
{
    at.Reply = session.Link().Reply();
    at.Serial = ShowBytes(PrinterSerial(session.Link()).value_or(QByteArray()));
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

// Searches COM1..COM20 for a printer, leaving the port open on the one found: with a remembered
// printer the one with its serial number, past any other, which gets nothing but the status
// request. `silent` is the remembered port when it is there but did not answer as a printer.
JobOutcome Search(Session& session, const RememberedPrinter* expected,
                  const JobOutcome* silent = nullptr)
{
    TPrinterLink& link = session.Link();
    QStringList others;
    link.SearchAccepts = [&link, &others, expected](int com) {
        const std::optional<QByteArray> serial = PrinterSerial(link);
        if (!serial)
            return false;
        if (expected && ShowBytes(*serial) != expected->Serial) {
            const QString name = ComName(com);
            others.append(Ctl::tr("%1 has serial number %2")
                              .arg(Where(name, DevicePathOfCom(name)), ShowBytes(*serial)));
            return false;
        }
        return true;
    };
    const auto stopJudging = qScopeGuard([&link] { link.SearchAccepts = {}; });
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
        if (!others.isEmpty())
            return Failed({}, JobResult::OtherPrinter,
                          Ctl::tr("no printer with serial number %1 answered on COM1 to COM20; "
                                  "%2; nothing but the status request was sent to them (run "
                                  "'orvalenctl find' to use another printer from now on)")
                              .arg(expected->Serial, others.join(QStringLiteral("; "))));
        if (silent)
            return Failed(*silent, JobResult::NoReply,
                          Ctl::tr("%1: no reply to the status request; no printer answered on "
                                  "COM1 to COM20 either")
                              .arg(Where(*silent)));
        return Failed({}, JobResult::NotFound, Ctl::tr("no printer answered on COM1 to COM20"));
    }
    JobOutcome at;
    at.Port = ComName(found.Com);
    at.Device = DevicePathOfCom(at.Port);
    // Only the status request went out during the search; the job's command waits for the claim.
    QString refusal;
    if (!session.Claim(at, refusal))
        return Failed(at, JobResult::CannotOpen, refusal);
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
    QString refusal;
    if (!session.Claim(at, refusal))
        return Failed(at, JobResult::CannotOpen, refusal);
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
    session.Send(PayloadEstado());
    if (session.Failed())
        return Failed(at, JobResult::NoReply, session.FailureReason(at));
    if (PrinterSerial(session.Link()))
        return Identified(session, at, expected);
    if (target.Given)
        return Failed(at,
                      context.Asked.Job == Options::Command::Find ? JobResult::NotFound
                                                                  : JobResult::NoReply,
                      Ctl::tr("%1: no reply to the status request").arg(Where(at)));
    context.Out.Message(
        Ctl::tr("%1 does not answer; searching COM1 to COM20 for the printer").arg(Where(at)));
    return Search(session, expected, &at);
}

// How the printer took the job's command, from its answer to the command's frame (none: no
// answer came): `taken` unless it marks a refusal with ERRO, the Z report's as the clock's.
JobResult Judged(const std::optional<QByteArray>& answer, JobResult taken)
{
    if (!answer)
        return JobResult::NoReply;
    return DateTimeRefused(*answer) ? JobResult::Refused : taken;
}

// Reaches the printer, then sends the command built at that moment.
template <typename MakePayload>
JobOutcome RunCommand(const JobContext& context, MakePayload makePayload, JobResult taken)
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
    at.Result = Judged(AnswerTo(session.Link().LastFrame(), at.Reply), taken);
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
        const QString where = Where(outcome);
        return Failed(outcome, JobResult::NoReply,
                      where.isEmpty() ? PortProblem(error)
                                      : QStringLiteral("%1: %2").arg(where, PortProblem(error)));
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
    return Guarded(context,
                   [&] { return RunCommand(context, PayloadReporteZ, JobResult::Answered); });
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
            JobResult::Accepted);
    });
}
