#include "ctl/Console.h"

#include <cstdio>
#include <unistd.h>

Console::Console() : stdoutIsTerminal_(isatty(1) == 1), stderrIsTerminal_(isatty(2) == 1) {}

void Console::Result(const QString& text) const
{
    std::fputs((text + QLatin1Char('\n')).toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

void Console::Message(const QString& text) const
{
    std::fputs(QStringLiteral("orvalenctl: %1\n").arg(text).toLocal8Bit().constData(), stderr);
}

void Console::Progress(const QString& text) const
{
    if (stderrIsTerminal_)
        Message(text);
}
