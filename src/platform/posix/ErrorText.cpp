#include "platform/ErrorText.h"

#include "platform/SystemError.h"

#include <cstring>

QString UserErrorText(int error)
{
    char buffer[256];
    // The GNU strerror_r returns the text, which may or may not be in buffer.
    return QString::fromLocal8Bit(strerror_r(error, buffer, sizeof buffer));
}

QString EnglishErrorText(int error)
{
    return QString::fromStdString(UntranslatedError(error));
}
