#include "platform/SystemError.h"

#include "platform/ErrorText.h"

#include <windows.h>

namespace {

QString FormatSystemMessage(DWORD error, DWORD language)
{
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, language, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (length == 0 || buffer == nullptr)
        return QString();
    QString text = QString::fromWCharArray(buffer, int(length));
    LocalFree(buffer);
    while (!text.isEmpty() && (text.back().isSpace() || text.back() == QLatin1Char('.')))
        text.chop(1);
    return text;
}

} // namespace

QString UserErrorText(int error)
{
    const QString text = FormatSystemMessage(DWORD(error), 0);
    return text.isEmpty() ? EnglishErrorText(error) : text;
}

QString EnglishErrorText(int error)
{
    const QString text =
        FormatSystemMessage(DWORD(error), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    return text.isEmpty() ? QStringLiteral("error %1").arg(error) : text;
}

std::string UntranslatedError(int error)
{
    return EnglishErrorText(error).toStdString();
}
