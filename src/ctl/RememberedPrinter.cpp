#include "ctl/RememberedPrinter.h"

#include <QSettings>

namespace {

QSettings Store()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("orvalen"),
                     QStringLiteral("orvalenctl"));
}

const QString PortKey = QStringLiteral("printer/port");
const QString SerialKey = QStringLiteral("printer/serial");

} // namespace

RememberedPrinter RememberedPrinter::Load()
{
    const QSettings settings = Store();
    RememberedPrinter printer;
    printer.Port = settings.value(PortKey).toString();
    printer.Serial = settings.value(SerialKey).toString();
    return printer;
}

bool RememberedPrinter::Save(QString& error) const
{
    QSettings settings = Store();
    settings.setValue(PortKey, Port);
    settings.setValue(SerialKey, Serial);
    settings.sync();
    if (settings.status() == QSettings::NoError)
        return true;
    error = settings.fileName();
    return false;
}
