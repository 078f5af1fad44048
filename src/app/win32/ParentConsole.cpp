#include "app/ParentConsole.h"

#include "platform/win32/UniqueHandle.h"

#include <windows.h>

namespace {

bool Leads(HANDLE handle)
{
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

// Text to a console goes as UTF-16, so that "ñ" shows whatever the console's code page; to a
// file or a pipe (orvalen --help > help.txt) in the system's code page, as a console program's.
void Put(HANDLE handle, const QString& text)
{
    DWORD mode = 0;
    DWORD n = 0;
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleW(handle, reinterpret_cast<const wchar_t*>(text.utf16()), DWORD(text.size()),
                      &n, nullptr);
    } else {
        const QByteArray bytes = text.toLocal8Bit();
        WriteFile(handle, bytes.constData(), DWORD(bytes.size()), &n, nullptr);
    }
}

} // namespace

void PrintToStartingConsole(const QString& output, const QString& error)
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    UniqueHandle console;
    if ((!output.isEmpty() && !Leads(out)) || (!error.isEmpty() && !Leads(err))) {
        // Started from a command prompt without redirection: its console. Started from the
        // desktop there is none, and the text goes nowhere, as for any windowed program.
        if (AttachConsole(ATTACH_PARENT_PROCESS) || GetLastError() == ERROR_ACCESS_DENIED) {
            console.Reset(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                      nullptr));
        }
        if (!Leads(out))
            out = console.Get();
        if (!Leads(err))
            err = console.Get();
    }
    if (!output.isEmpty() && Leads(out))
        Put(out, output);
    if (!error.isEmpty() && Leads(err))
        Put(err, error);
}
