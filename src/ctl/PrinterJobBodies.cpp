// The printer jobs' bodies. They wait for the printer layer (orvalen_printer's link object,
// which owns the port, does the exchange and the search); until then each says so and the
// common end in PrinterJobs.cpp records nothing.
#include "ctl/PrinterJobs.h"

namespace {

std::optional<JobOutcome> NotYetAvailable(const JobContext& context)
{
    context.Out.Message(
        Ctl::tr("the %1 job is not available in this build").arg(CommandName(context.Asked.Job)));
    return std::nullopt;
}

} // namespace

std::optional<JobOutcome> FindPrinter(const JobContext& context)
{
    return NotYetAvailable(context);
}

std::optional<JobOutcome> RequestStatus(const JobContext& context)
{
    return NotYetAvailable(context);
}

std::optional<JobOutcome> PrintZReport(const JobContext& context)
{
    return NotYetAvailable(context);
}

std::optional<JobOutcome> SetPrinterClock(const JobContext& context)
{
    return NotYetAvailable(context);
}
