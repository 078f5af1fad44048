#include "platform/DevicePath.h"

// On Windows a port is the device "\\.\COMn" (the prefix reaches COM10 and above, which the bare
// name does not). ORVALEN_COM_DIR has no meaning here: under Wine the prefix's dosdevices/comn
// links choose the device behind each port.
std::optional<QByteArray> DevicePathFor(const QByteArray& name)
{
    static const QByteArray devicePrefix = QByteArrayLiteral("\\\\.\\");
    QByteArray bare = name.startsWith(devicePrefix) ? name.mid(devicePrefix.size()) : name;
    if (bare.size() < 4 || bare.left(3).toUpper() != "COM")
        return std::nullopt;
    const QByteArray digits = bare.mid(3);
    // "COM07" or "COM+7" name no port.
    if (digits.startsWith('0'))
        return std::nullopt;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
    }
    bool ok = false;
    const unsigned n = digits.toUInt(&ok);
    if (!ok || n == 0 || n > 255)
        return std::nullopt;
    return devicePrefix + "COM" + QByteArray::number(n);
}
