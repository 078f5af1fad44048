#pragma once

#include <QString>

#include <system_error>

// The system's text for one of its error codes (errno on POSIX, a Win32 error on Windows),
// without the closing full stop and line break.
// In the user's language, for what the window shows (strerror; FormatMessage):
QString UserErrorText(int error);
// In English whatever the user's language, for logs and standard error (UntranslatedError in
// platform/SystemError.h gives the same as a std::string).
QString EnglishErrorText(int error);

// The system's code for an error the standard library raised. The C++ run-time of Windows
// reports its own failures (a thread it cannot start) as errno values, which the texts above do
// not know: those become the nearest Win32 error. On Linux both are errno values already.
int SystemCodeOf(const std::error_code& code);
