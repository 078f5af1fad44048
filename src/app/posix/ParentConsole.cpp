#include "app/ParentConsole.h"

#include <cstdio>

void PrintToStartingConsole(const QString& output, const QString& error)
{
    std::fputs(output.toLocal8Bit().constData(), stdout);
    std::fputs(error.toLocal8Bit().constData(), stderr);
    std::fflush(stdout);
}
