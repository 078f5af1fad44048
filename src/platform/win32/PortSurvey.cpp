// The survey on Windows: the Ports class of the device manager (SetupAPI), and for a port it
// does not describe, the system's list of serial devices (HARDWARE\DEVICEMAP\SERIALCOMM) and the
// DOS device names, which hold the ports of drivers without a device node (some virtual ports,
// and all of Wine's: its device manager lists no port, its SERIALCOMM only COM1, and a port
// linked in dosdevices is known by its name alone). Nothing is opened: the device's own
// registry key names its port.
#include "platform/PortSurvey.h"

#include "platform/win32/PortLock.h"

#include <QRegularExpression>

#include <windows.h>
// After windows.h: the class GUIDs are defined here, not only declared.
#include <devguid.h>
#include <initguid.h>
#include <setupapi.h>

#include <memory>

namespace {

struct DestroyInfoSet
{
    void operator()(void* set) const { SetupDiDestroyDeviceInfoList(set); }
};
using InfoSet = std::unique_ptr<void, DestroyInfoSet>;

struct CloseKey
{
    void operator()(HKEY key) const { RegCloseKey(key); }
};
using Key = std::unique_ptr<std::remove_pointer_t<HKEY>, CloseKey>;

// A string value; a REG_MULTI_SZ gives its strings joined by '\n'.
QString RegistryString(HKEY key, const wchar_t* name)
{
    DWORD type = 0;
    wchar_t buffer[512] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_MULTI_SZ))
        return {};
    QString text = QString::fromWCharArray(buffer, int(size / sizeof(wchar_t)));
    text.replace(QChar(0), QLatin1Char('\n'));
    return text.trimmed();
}

QString DeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property)
{
    wchar_t buffer[1024] = {};
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type,
                                           reinterpret_cast<BYTE*>(buffer),
                                           sizeof buffer - 2 * sizeof(wchar_t), nullptr))
        return {};
    // A multi-string's first entry is the most specific one ("USB\VID_0403&PID_6001&REV_0600").
    return QString::fromWCharArray(buffer);
}

bool SameCom(const QString& listed, const QString& asked)
{
    return listed.compare(asked, Qt::CaseInsensitive) == 0;
}

// "VID_0403&PID_6001" in a USB hardware id, as lsusb writes it: "0403:6001".
QString UsbIdOf(const QString& hardwareId)
{
    static const QRegularExpression ids(QStringLiteral("VID_([0-9A-F]{4}).*PID_([0-9A-F]{4})"),
                                        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = ids.match(hardwareId);
    if (!match.hasMatch())
        return {};
    return (match.captured(1) + QLatin1Char(':') + match.captured(2)).toLower();
}

bool DescribeFromDeviceManager(const QString& com, PortDescription& port)
{
    const InfoSet set(SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT));
    if (set.get() == INVALID_HANDLE_VALUE)
        return false;
    for (DWORD i = 0;; ++i) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!SetupDiEnumDeviceInfo(set.get(), i, &device))
            return false;
        const HKEY raw =
            SetupDiOpenDevRegKey(set.get(), &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (raw == INVALID_HANDLE_VALUE)
            continue;
        const Key key(raw);
        if (!SameCom(RegistryString(key.get(), L"PortName"), com))
            continue;
        port.FriendlyName = DeviceProperty(set.get(), device, SPDRP_FRIENDLYNAME);
        if (port.FriendlyName.isEmpty())
            port.FriendlyName = DeviceProperty(set.get(), device, SPDRP_DEVICEDESC);
        port.Driver = DeviceProperty(set.get(), device, SPDRP_SERVICE);
        port.UsbId = UsbIdOf(DeviceProperty(set.get(), device, SPDRP_HARDWAREID));
        if (!port.UsbId.isEmpty()) {
            port.What = PortDescription::Kind::Usb;
            port.Maker = DeviceProperty(set.get(), device, SPDRP_MFG);
        } else {
            port.What = PortDescription::Kind::Other;
        }
        return true;
    }
}

bool ListedAsSerialDevice(const QString& com)
{
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &raw) !=
        ERROR_SUCCESS)
        return false;
    const Key key(raw);
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = DWORD(std::size(name));
        wchar_t data[64] = {};
        DWORD dataSize = sizeof data - sizeof(wchar_t);
        DWORD type = 0;
        const LONG result = RegEnumValueW(key.get(), i, name, &nameLength, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data), &dataSize);
        if (result == ERROR_NO_MORE_ITEMS)
            return false;
        if (result == ERROR_SUCCESS && type == REG_SZ &&
            SameCom(QString::fromWCharArray(data), com))
            return true;
    }
}

// A name the system's object manager knows (a driver's port, a link Wine keeps in dosdevices).
bool KnownDosDevice(const QString& com)
{
    wchar_t target[1024];
    return QueryDosDeviceW(reinterpret_cast<const wchar_t*>(com.utf16()), target,
                           DWORD(std::size(target))) != 0;
}

} // namespace

PortDescription PortSurvey::Describe(const QByteArray& device) const
{
    PortDescription port;
    port.Device = device;
    static const QByteArray devicePrefix = QByteArrayLiteral("\\\\.\\");
    const QString com = QString::fromLatin1(
        device.startsWith(devicePrefix) ? device.mid(devicePrefix.size()) : device);
    if (!DescribeFromDeviceManager(com, port)) {
        if (!ListedAsSerialDevice(com) && !KnownDosDevice(com))
            return port; // Missing
        port.What = PortDescription::Kind::Other;
    }
    // Whether this user may open it cannot be told without opening it; only a claim of one of
    // our own jobs shows that it is busy.
    port.Holders = OtherHoldersOf(device);
    if (!port.Holders.isEmpty())
        port.Open = PortDescription::Access::Busy;
    return port;
}

// USB printers without a serial port show as printers on Windows, not as device files.
QList<QByteArray> PortSurvey::UsbPrinterNodes() const
{
    return {};
}
