#include "ctl/PortsCommand.h"

#include "ctl/RememberedPrinter.h"
#include "platform/DevicePath.h"
#include "platform/PortSurvey.h"
#include "printer/PortRefusals.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace {

constexpr int LastCom = 20;

QString KindName(PortDescription::Kind kind)
{
    switch (kind) {
    case PortDescription::Kind::Missing:
        return QStringLiteral("missing");
    case PortDescription::Kind::Uart:
        return QStringLiteral("uart");
    case PortDescription::Kind::NoUart:
        return QStringLiteral("no-uart");
    case PortDescription::Kind::Usb:
        return QStringLiteral("usb");
    case PortDescription::Kind::NotSerial:
        return QStringLiteral("not-serial");
    case PortDescription::Kind::Other:
        break;
    }
    return QStringLiteral("other");
}

QString AccessName(PortDescription::Access access)
{
    switch (access) {
    case PortDescription::Access::Usable:
        return QStringLiteral("ok");
    case PortDescription::Access::PermissionDenied:
        return QStringLiteral("permission");
    case PortDescription::Access::Busy:
        return QStringLiteral("busy");
    case PortDescription::Access::Unknown:
        break;
    }
    return QStringLiteral("none");
}

// The same file, whichever of its names is given (a by-id link, an ORVALEN_COM_DIR link).
bool SameFile(const QString& one, const QString& other)
{
    if (one == other)
        return true;
    const QString canonical = QFileInfo(one).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(other).canonicalFilePath();
}

// The remembered printer is on this COM number: by its name, or by the path `find --device`
// remembered when that is the same device.
bool IsRemembered(const RememberedPrinter& printer, const QString& com, const PortDescription& port)
{
    if (!printer.IsKnown())
        return false;
    if (!printer.Port.startsWith(QLatin1Char('/')))
        return printer.Port == com;
    return port.What != PortDescription::Kind::Missing &&
           SameFile(printer.Port, QFile::decodeName(port.Device));
}

QJsonObject ToJson(const QString& com, const PortDescription& port,
                   const RememberedPrinter* remembered)
{
    QJsonObject object{
        {QStringLiteral("port"), com},
        {QStringLiteral("device"), QString::fromLocal8Bit(port.Device)},
        {QStringLiteral("present"), port.What != PortDescription::Kind::Missing},
        {QStringLiteral("kind"), KindName(port.What)},
        {QStringLiteral("access"), AccessName(port.Open)},
        {QStringLiteral("remembered"), remembered != nullptr},
    };
    if (remembered)
        object.insert(QStringLiteral("serial"), remembered->Serial);
    auto add = [&object](const char* key, const QString& value) {
        if (!value.isEmpty())
            object.insert(QLatin1String(key), value);
    };
    add("uart", port.UartType);
    add("driver", port.Driver);
    add("usb_id", port.UsbId);
    add("manufacturer", port.Maker);
    add("product", port.Product);
    add("friendly_name", port.FriendlyName);
    add("by_id", QString::fromLocal8Bit(port.ById));
    add("group", port.Group);
    if (!port.Holders.isEmpty()) {
        QJsonArray holders;
        for (const DeviceHolder& holder : port.Holders)
            holders.append(QJsonObject{{QStringLiteral("pid"), int(holder.Pid)},
                                       {QStringLiteral("program"), holder.Program}});
        object.insert(QStringLiteral("holders"), holders);
    }
    return object;
}

QString WhatIsBehind(const PortDescription& port)
{
    switch (port.What) {
    case PortDescription::Kind::Missing:
        return Ctl::tr("missing");
    case PortDescription::Kind::NoUart:
        return Ctl::tr("no UART behind it (no port on this computer)");
    case PortDescription::Kind::Uart:
        return Ctl::tr("%1 UART").arg(port.UartType);
    case PortDescription::Kind::Usb: {
        QString text = Ctl::tr("USB adapter, driver %1, %2").arg(port.Driver, port.UsbId);
        if (!port.FriendlyName.isEmpty())
            text = port.FriendlyName + QStringLiteral(": ") + text;
        const QString names =
            QStringList{port.Maker, port.Product}.join(QLatin1Char(' ')).trimmed();
        if (!names.isEmpty())
            text += QStringLiteral(" (%1)").arg(names);
        if (!port.ById.isEmpty())
            text += QStringLiteral(", %1").arg(QString::fromLocal8Bit(port.ById));
        return text;
    }
    case PortDescription::Kind::NotSerial:
        return Ctl::tr("not a serial port");
    case PortDescription::Kind::Other:
        if (!port.FriendlyName.isEmpty())
            return port.FriendlyName;
        break;
    }
#ifdef _WIN32
    return Ctl::tr("known to the system by its name only, no device described");
#else
    return Ctl::tr("a device sysfs does not describe");
#endif
}

QString WhetherItOpens(const PortDescription& port)
{
    switch (port.Open) {
    case PortDescription::Access::Usable:
        return Ctl::tr("this user can open it");
    case PortDescription::Access::PermissionDenied:
        return Ctl::tr("permission denied (group %1)").arg(port.Group);
    case PortDescription::Access::Busy:
        return Ctl::tr("busy: held by %1").arg(HolderNames(port.Holders));
    case PortDescription::Access::Unknown:
        break;
    }
    return {};
}

} // namespace

ExitStatus RunPorts(const PortSurvey& survey, bool json, const Console& console)
{
    const RememberedPrinter remembered = RememberedPrinter::Load();
    bool rememberedShown = false;
    QJsonArray array;
    QStringList deniedGroups;
    bool anyBusy = false;
    for (int n = 1; n <= LastCom; ++n) {
        const QString com = QStringLiteral("COM%1").arg(n);
        const PortDescription port = survey.Describe(DevicePathFor(com.toLatin1()).value());
        const bool isRemembered = IsRemembered(remembered, com, port);
        rememberedShown = rememberedShown || isRemembered;
        if (port.Open == PortDescription::Access::PermissionDenied &&
            !deniedGroups.contains(port.Group))
            deniedGroups.append(port.Group);
        anyBusy = anyBusy || port.Open == PortDescription::Access::Busy;
        if (json) {
            array.append(ToJson(com, port, isRemembered ? &remembered : nullptr));
            continue;
        }
        QString line = com.leftJustified(6) +
                       QString::fromLocal8Bit(port.Device).leftJustified(14) + QLatin1Char(' ') +
                       WhatIsBehind(port);
        const QString opens = WhetherItOpens(port);
        if (!opens.isEmpty())
            line += QStringLiteral("; ") + opens;
        if (isRemembered)
            line += Ctl::tr("; the remembered printer (serial %1)").arg(remembered.Serial);
        console.Result(line);
    }
    if (json)
        console.Result(
            QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)).trimmed());

    // Printer nodes are no COM number: in JSON the array stays one object per COM number and
    // the note goes to stderr with the other advice.
    for (const QByteArray& node : survey.UsbPrinterNodes()) {
        const QString text =
            Ctl::tr("%1 is a USB printer port, not a serial port: this program cannot use it")
                .arg(QString::fromLocal8Bit(node));
        if (json)
            console.Message(text);
        else
            console.Result(text);
    }
    // A printer remembered by a device path outside COM1..COM20 (or one gone) is named apart.
    if (remembered.IsKnown() && !rememberedShown) {
        const QString text = Ctl::tr("the remembered printer (serial %1) is on %2, which is not "
                                     "one of COM1 to COM20 here")
                                 .arg(remembered.Serial, remembered.Port);
        if (json)
            console.Message(text);
        else
            console.Result(text);
    }
    if (!deniedGroups.isEmpty())
        console.Message(Ctl::tr("to open the ports refused for permission, add your user to the "
                                "group: sudo usermod -aG %1 %2, then log out and in again")
                            .arg(deniedGroups.join(QLatin1Char(',')), CurrentUserName()));
#ifdef _WIN32
    if (anyBusy)
        console.Message(Ctl::tr("a busy port is free once the job holding it ends"));
#else
    if (anyBusy)
        console.Message(Ctl::tr("a busy port is free once the program holding it ends; "
                                "ModemManager and brltty often take serial ports"));
#endif
    return ExitStatus::Done;
}
