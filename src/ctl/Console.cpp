#include "ctl/Console.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

Console::Console() : stdoutIsTerminal_(isatty(1) == 1), stderrIsTerminal_(isatty(2) == 1) {}

void Console::Result(const QString& text) const
{
    if (resultsError_ != 0)
        return;
    // Buffered: `history` writes a line per job. Message flushes first, so that the lines keep
    // their order where both streams go to one place.
    errno = 0;
    if (std::fputs((text + QLatin1Char('\n')).toLocal8Bit().constData(), stdout) < 0)
        resultsError_ = errno != 0 ? errno : EIO;
}

void Console::Message(const QString& text) const
{
    errno = 0;
    if (resultsError_ == 0 && std::fflush(stdout) != 0)
        resultsError_ = errno != 0 ? errno : EIO;
    std::fputs(QStringLiteral("orvalenctl: %1\n").arg(text).toLocal8Bit().constData(), stderr);
}

void Console::Progress(const QString& text) const
{
    if (stderrIsTerminal_)
        Message(text);
}

ExitStatus Console::Finished(ExitStatus status) const
{
    errno = 0;
    if (resultsError_ == 0 && std::fflush(stdout) != 0)
        resultsError_ = errno != 0 ? errno : EIO;
    if (resultsError_ == 0)
        return status;
    Message(Ctl::tr("the results could not be written to standard output: %1")
                .arg(QString::fromLocal8Bit(std::strerror(resultsError_))));
    return ExitStatus::Refused;
}
