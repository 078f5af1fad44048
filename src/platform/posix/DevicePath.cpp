#include "platform/DevicePath.h"

namespace {

// The number of "COMn" (any case of "COM"), or 0 when the name is not of that form.
unsigned ComNumber(QByteArray name)
{
    static const QByteArray devicePrefix = QByteArrayLiteral("\\\\.\\");
    if (name.startsWith(devicePrefix))
        name = name.mid(devicePrefix.size());
    if (name.size() < 4 || name.left(3).toUpper() != "COM")
        return 0;
    const QByteArray digits = name.mid(3);
    // "COM07" or "COM+7" name no port.
    if (digits.startsWith('0'))
        return 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return 0;
    }
    bool ok = false;
    const unsigned n = digits.toUInt(&ok);
    return ok ? n : 0;
}

struct DeviceRange
{
    unsigned firstCom;
    unsigned lastCom;
    const char* prefix;
};

constexpr DeviceRange Ranges[] = {
    {1, 4, "/dev/ttyS"},
    {5, 12, "/dev/ttyUSB"},
    {13, 20, "/dev/ttyACM"},
};

} // namespace

std::optional<QByteArray> DevicePathFor(const QByteArray& name)
{
    if (name.startsWith('/'))
        return name;
    const unsigned n = ComNumber(name);
    if (n == 0)
        return std::nullopt;
    const QByteArray dir = qgetenv("ORVALEN_COM_DIR");
    if (!dir.isEmpty())
        return dir + "/com" + QByteArray::number(n);
    for (const DeviceRange& range : Ranges) {
        if (n >= range.firstCom && n <= range.lastCom)
            return QByteArray(range.prefix) + QByteArray::number(n - range.firstCom);
    }
    return std::nullopt;
}
