// On Windows the printer is remembered where QSettings keeps a user's settings natively, in the
// registry (HKEY_CURRENT_USER\Software\orvalen\orvalenctl): no file there can be a FIFO or a
// link to a device, so the checks of the file's kind have no counterpart here.
#include "ctl/RememberedPrinter.h"

#include "ctl/Console.h"
#include "ctl/Options.h"
#include "printer/Reply.h"

#include <QSettings>

namespace {

const QString PortKey = QStringLiteral("printer/port");
const QString SerialKey = QStringLiteral("printer/serial");

bool ValidSerial(const QString& serial)
{
    return serial.size() == 10 && IsSerialNumber(serial.toLatin1());
}

} // namespace

QString RememberedPrinter::FileName()
{
    return QStringLiteral("HKEY_CURRENT_USER\\Software\\orvalen\\orvalenctl");
}

RememberedPrinter RememberedPrinter::Load(QString& problem)
{
    problem.clear();
    const QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                             QStringLiteral("orvalen"), QStringLiteral("orvalenctl"));
    if (!settings.contains(PortKey) && !settings.contains(SerialKey))
        return {};
    RememberedPrinter printer;
    printer.Port = settings.value(PortKey).toString();
    printer.Serial = settings.value(SerialKey).toString();
    // A device path is a Linux way of naming a port: here only COMn is one.
    if (settings.status() != QSettings::NoError || !IsPortName(printer.Port) ||
        !ValidSerial(printer.Serial)) {
        problem =
            Ctl::tr("%1 is damaged: it holds no valid port and serial number").arg(FileName());
        return {};
    }
    return printer;
}

bool RememberedPrinter::Save(QString& error) const
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("orvalen"),
                       QStringLiteral("orvalenctl"));
    settings.setValue(PortKey, Port);
    settings.setValue(SerialKey, Serial);
    settings.sync();
    if (settings.status() == QSettings::NoError)
        return true;
    error = FileName();
    return false;
}
