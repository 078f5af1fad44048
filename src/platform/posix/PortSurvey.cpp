#include "platform/PortSurvey.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

QString ReadLine(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readLine()).trimmed();
}

// The names the kernel's serial core gives its port types (include/uapi/linux/serial_core.h).
QString UartName(int type)
{
    switch (type) {
    case 1:
        return QStringLiteral("8250");
    case 2:
        return QStringLiteral("16450");
    case 3:
        return QStringLiteral("16550");
    case 4:
        return QStringLiteral("16550A");
    case 6:
        return QStringLiteral("16650");
    case 7:
        return QStringLiteral("16650V2");
    case 8:
        return QStringLiteral("16750");
    case 10:
        return QStringLiteral("16C950");
    default:
        return QStringLiteral("type %1").arg(type);
    }
}

QString GroupName(gid_t gid)
{
    if (const group* entry = getgrgid(gid))
        return QString::fromLocal8Bit(entry->gr_name);
    return QString::number(gid);
}

} // namespace

QString PortSurvey::Local(const QByteArray& device) const
{
    const QString path = QFile::decodeName(device);
    if (path.startsWith(QLatin1String("/dev/")))
        return devRoot_ + path.mid(4);
    return path;
}

PortDescription PortSurvey::Describe(const QByteArray& device) const
{
    PortDescription port;
    port.Device = device;
    const QString local = Local(device);
    const QFileInfo info(local);
    if (!info.exists())
        return port;

    // A link (ORVALEN_COM_DIR, /dev/serial/...) is described by what it points at.
    const QString real = info.canonicalFilePath();
    const QString name = QFileInfo(real).fileName();
    const QString ttyDir = sysRoot_ + QStringLiteral("/class/tty/") + name;
    port.What = PortDescription::Kind::Other;
    if (real.startsWith(devRoot_ + QLatin1Char('/')) && QFileInfo::exists(ttyDir)) {
        port.Driver =
            QFileInfo(QFileInfo(ttyDir + QStringLiteral("/device/driver")).canonicalFilePath())
                .fileName();
        const QString type = ReadLine(ttyDir + QStringLiteral("/type"));
        if (name.startsWith(QLatin1String("ttyUSB")) || name.startsWith(QLatin1String("ttyACM"))) {
            port.What = PortDescription::Kind::Usb;
            DescribeUsb(ttyDir, port);
        } else if (!type.isEmpty()) {
            const int number = type.toInt();
            port.What = number == 0 ? PortDescription::Kind::NoUart : PortDescription::Kind::Uart;
            if (number != 0)
                port.UartType = UartName(number);
        }
    }
    if (port.What == PortDescription::Kind::Other && !IsTerminal(local))
        port.What = PortDescription::Kind::NotSerial;
    // Opening a node without hardware fails whoever asks, and what is no terminal is no port to
    // open: there is no access to speak of.
    if (port.What == PortDescription::Kind::NoUart || port.What == PortDescription::Kind::NotSerial)
        return port;

    const QByteArray localName = QFile::encodeName(local);
    if (access(localName.constData(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM)) {
        port.Open = PortDescription::Access::PermissionDenied;
        struct stat st;
        port.Group = stat(localName.constData(), &st) == 0 ? GroupName(st.st_gid) : QString();
        return port;
    }
    port.Holders = OtherHoldersOf(localName);
    port.Open =
        port.Holders.isEmpty() ? PortDescription::Access::Usable : PortDescription::Access::Busy;
    return port;
}

bool PortSurvey::IsTerminal(const QString& path) const
{
    struct stat st;
    if (stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    // Pseudo-terminals have no entry in sysfs; every other character device has one, which
    // names its class (tty for terminals, mem for /dev/null and /dev/zero). A device sysfs does
    // not know is given the benefit of the doubt.
    const unsigned m = major(st.st_rdev);
    if (m >= 136 && m <= 143)
        return true;
    const QString subsystem =
        QStringLiteral("%1/dev/char/%2:%3/subsystem").arg(sysRoot_).arg(m).arg(minor(st.st_rdev));
    const QFileInfo link(subsystem);
    return !link.exists() || QFileInfo(link.canonicalFilePath()).fileName() == QLatin1String("tty");
}

void PortSurvey::DescribeUsb(const QString& ttyDir, PortDescription& port) const
{
    // The tty's device is a USB interface (cdc_acm) or a port below one (usb-serial); the USB
    // device with the ids is the nearest folder above it that has them.
    QDir dir(QFileInfo(ttyDir + QStringLiteral("/device")).canonicalFilePath());
    const QString top = QFileInfo(sysRoot_).canonicalFilePath();
    while (!dir.path().isEmpty() && dir.path() != top && dir.path() != QLatin1String("/")) {
        if (dir.exists(QStringLiteral("idVendor"))) {
            port.UsbId = ReadLine(dir.filePath(QStringLiteral("idVendor"))) + QLatin1Char(':') +
                         ReadLine(dir.filePath(QStringLiteral("idProduct")));
            port.Maker = ReadLine(dir.filePath(QStringLiteral("manufacturer")));
            port.Product = ReadLine(dir.filePath(QStringLiteral("product")));
            break;
        }
        if (!dir.cdUp())
            break;
    }
    port.ById = ByIdLinkTo(devRoot_ + QLatin1Char('/') + QFileInfo(ttyDir).fileName());
}

QByteArray PortSurvey::ByIdLinkTo(const QString& target) const
{
    const QDir byId(devRoot_ + QStringLiteral("/serial/by-id"));
    const QString wanted = QFileInfo(target).canonicalFilePath();
    for (const QFileInfo& link : byId.entryInfoList(QDir::System | QDir::Files)) {
        if (link.canonicalFilePath() == wanted)
            return QFile::encodeName(QStringLiteral("/dev/serial/by-id/") + link.fileName());
    }
    return {};
}

QList<QByteArray> PortSurvey::UsbPrinterNodes() const
{
    QList<QByteArray> nodes;
    const QDir usb(devRoot_ + QStringLiteral("/usb"));
    const QStringList names =
        usb.entryList({QStringLiteral("lp*")}, QDir::System | QDir::Files, QDir::Name);
    for (const QString& name : names)
        nodes.append(QFile::encodeName(QStringLiteral("/dev/usb/") + name));
    return nodes;
}
