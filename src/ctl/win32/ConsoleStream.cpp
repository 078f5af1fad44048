#include "ctl/ConsoleStream.h"

#include <cerrno>
#include <cstring>
#include <io.h>

#include <windows.h>

namespace {

HANDLE HandleOf(std::FILE* stream)
{
    const int fd = _fileno(stream);
    return fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

} // namespace

bool ConsoleStream::IsConsole(std::FILE* stream)
{
    DWORD mode = 0;
    return GetConsoleMode(HandleOf(stream), &mode) != 0;
}

int ConsoleStream::Write(std::FILE* stream, const QString& text)
{
    const HANDLE console = HandleOf(stream);
    DWORD mode = 0;
    if (GetConsoleMode(console, &mode)) {
        // What the C library still holds goes first, so that the lines keep their order.
        std::fflush(stream);
        const wchar_t* rest = reinterpret_cast<const wchar_t*>(text.utf16());
        qsizetype left = text.size();
        while (left > 0) {
            DWORD written = 0;
            if (!WriteConsoleW(console, rest, DWORD(qMin<qsizetype>(left, 8192)), &written,
                               nullptr) ||
                written == 0)
                return EIO;
            rest += written;
            left -= written;
        }
        return 0;
    }
    // A file, a pipe, NUL: UTF-8, in text mode, so that "\n" ends a line as Windows ends one.
    const QByteArray bytes = text.toUtf8();
    errno = 0;
    if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream) == size_t(bytes.size()))
        return 0;
    return errno != 0 ? errno : EIO;
}

QString ConsoleStream::ErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}
