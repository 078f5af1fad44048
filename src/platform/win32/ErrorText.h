#pragma once

#include <QString>

#include <windows.h>

#include <string>

// The system's text for a Win32 error code, without the closing period and line break.
// In the user's language, for what the window shows:
QString UserErrorText(DWORD error);
// In English whatever the user's language, for logs and standard error; "error N" where the
// system has no English texts installed. (UntranslatedError in platform/SystemError.h gives the
// same as a std::string.)
QString EnglishErrorText(DWORD error);
