#include "ctl/ConsoleStream.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

bool ConsoleStream::IsConsole(std::FILE* stream)
{
    return isatty(fileno(stream)) == 1;
}

int ConsoleStream::Write(std::FILE* stream, const QString& text)
{
    errno = 0;
    if (std::fputs(text.toLocal8Bit().constData(), stream) >= 0)
        return 0;
    return errno != 0 ? errno : EIO;
}

QString ConsoleStream::ErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}
