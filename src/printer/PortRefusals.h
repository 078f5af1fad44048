#pragma once

#include "platform/DeviceHolders.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <exception>
#include <optional>

// Why a port that exists could not be opened by the printer search.
struct PortRefusal
{
    enum class Reason
    {
        Permission,
        Busy,
        Other
    };

    QString ComName;       // "COM5"
    QByteArray DevicePath; // "/dev/ttyUSB0", or the link in ORVALEN_COM_DIR; "\\.\COM5"
    Reason Why = Reason::Other;
    QString Group;               // Permission: the device's group, the one to join
    QList<DeviceHolder> Holders; // Busy: the programs holding it, as far as /proc shows them
                                 // (none on Windows, which does not tell)
    QString Detail;              // Other: the port's own error text
    int SystemError = 0;         // the system's error number behind it, 0 when none
};

// The device file that the port opens for COMn ("COM5" -> "/dev/ttyUSB0"); empty when none.
QByteArray DevicePathOfCom(const QString& comName);

// The refusal behind a failed open of the port `comName`, or nothing when its device does not
// exist: most of COM1..COM20 are missing on any computer, and that is no news.
std::optional<PortRefusal> RefusalOf(const QString& comName, const std::exception& error);

// The system's side (posix/, win32/) decides what a failed open means: on Windows
// ERROR_ACCESS_DENIED is a port held by another program and ERROR_FILE_NOT_FOUND no port.
// Whether the system's error number of a failed open means that the COM number has no port.
bool MeansNoPort(int systemError);
// Sets why the port was refused from its system error: Permission with the group to join, Busy
// with the programs holding it, else Other.
void JudgeRefusal(PortRefusal& refusal);

// One line for stderr, e.g.
// "orvalen: COM5 (/dev/ttyUSB0): permission denied; add your user to the dialout group".
QString RefusalLine(const PortRefusal& refusal);

// The message after a search that found no printer, in Spanish: which devices were refused for
// permission or held by another program, and what to do. Empty when no port was refused for
// those reasons (other failures the user cannot mend).
QString RefusalAdvice(const QList<PortRefusal>& refusals, const QString& userName);

// The programs holding a device, for a message: "ModemManager (pid 812), brltty (pid 90)".
QString HolderNames(const QList<DeviceHolder>& holders);

// The login name of the user running the program, for the usermod command.
QString CurrentUserName();

// How our messages name the port: "COM5 (/dev/ttyUSB0)" here; on Windows the user knows the
// port by its name alone, "COM5".
QString RefusalPlace(const PortRefusal& refusal);

// What the advice for a busy port adds after "close that program": the system's usual culprits.
QString HeldPortHint();
