#pragma once

#include <QString>

// The system's text for one of its error codes (errno on POSIX, a Win32 error on Windows),
// without the closing full stop and line break.
// In the user's language, for what the window shows (strerror; FormatMessage):
QString UserErrorText(int error);
// In English whatever the user's language, for logs and standard error (UntranslatedError in
// platform/SystemError.h gives the same as a std::string).
QString EnglishErrorText(int error);
