#include "printer/PortRefusals.h"

#include "serial/VaComm.h"

#include <windows.h>

namespace {

// A COM number with no port behind it: most of COM1..COM20 on any computer.
bool MeansMissing(int error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Windows opens a port for one program at a time and says "access denied" to the next one; no
// group or permission stands in the way of a user.
bool MeansBusy(int error)
{
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
}

} // namespace

QString RefusalPlace(const PortRefusal& refusal)
{
    return refusal.ComName;
}

QString HeldPortHint()
{
    return QString();
}

std::optional<PortRefusal> RefusalOf(const QString& comName, const std::exception& error)
{
    PortRefusal refusal;
    refusal.ComName = comName;
    refusal.DevicePath = DevicePathOfCom(comName);
    const auto* portError = dynamic_cast<const EVaCommError*>(&error);
    const int systemError = portError ? portError->SystemError() : 0;
    refusal.SystemError = systemError;
    if (refusal.DevicePath.isEmpty() || MeansMissing(systemError))
        return std::nullopt;
    if (MeansBusy(systemError))
        refusal.Why = PortRefusal::Reason::Busy;
    else
        refusal.Detail = QString::fromUtf8(error.what());
    return refusal;
}

QString CurrentUserName()
{
    const QString name = qEnvironmentVariable("USERNAME");
    return name.isEmpty() ? QStringLiteral("%USERNAME%") : name;
}
