#include "printer/PortRefusals.h"

#include <windows.h>

namespace {

// Windows opens a port for one program at a time and says "access denied" to the next one; no
// group or permission stands in the way of a user.
bool MeansBusy(int error)
{
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
}

} // namespace

// A COM number with no port behind it: most of COM1..COM20 on any computer.
bool MeansNoPort(int error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

QString RefusalPlace(const PortRefusal& refusal)
{
    return refusal.ComName;
}

QString HeldPortHint()
{
    return QString();
}

void JudgeRefusal(PortRefusal& refusal)
{
    if (MeansBusy(refusal.SystemError))
        refusal.Why = PortRefusal::Reason::Busy;
}

QString CurrentUserName()
{
    const QString name = qEnvironmentVariable("USERNAME");
    return name.isEmpty() ? QStringLiteral("%USERNAME%") : name;
}
