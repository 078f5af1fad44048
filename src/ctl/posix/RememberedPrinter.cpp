#include "ctl/RememberedPrinter.h"

#include "ctl/Console.h"
#include "ctl/Options.h"
#include "platform/UniqueFd.h"
#include "printer/Reply.h"
#include "printer/posix/JournalFile.h"
#include "serial/VaComm.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString CannotRead(const QString& path, int error)
{
    return Ctl::tr("%1 cannot be read: %2").arg(path, SystemErrorText(error));
}

const QString PortKey = QStringLiteral("printer/port");
const QString SerialKey = QStringLiteral("printer/serial");

// Two short values; anything much larger is not this file.
constexpr qsizetype MaxFileSize = 64 * 1024;

bool ValidPort(const QString& port)
{
    return IsPortName(port) || port.startsWith(QLatin1Char('/'));
}

bool ValidSerial(const QString& serial)
{
    return serial.size() == 10 && IsSerialNumber(serial.toLatin1());
}

// The file's bytes, when it is a regular file of a sensible size; else `problem` says why not.
// Nothing that is not a regular file is opened: opening a serial port's node raises its lines.
std::optional<QByteArray> ReadSettingsFile(const QString& path, QString& problem)
{
    // Without waiting, and checked again once open, as the journal is.
    const UniqueFd fd = JournalFile::OpenRegular(path, O_RDONLY, problem);
    if (!fd.IsOpen())
        return std::nullopt;
    QByteArray bytes(MaxFileSize + 1, Qt::Uninitialized);
    qsizetype size = 0;
    while (size < bytes.size()) {
        const ssize_t n = read(fd.Get(), bytes.data() + size, size_t(bytes.size() - size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            problem = CannotRead(path, errno);
            return std::nullopt;
        }
        if (n == 0)
            break;
        size += n;
    }
    if (size > MaxFileSize) {
        problem = Ctl::tr("%1 is damaged: far too large").arg(path);
        return std::nullopt;
    }
    bytes.truncate(size);
    return bytes;
}

} // namespace

QString RememberedPrinter::FileName()
{
    // Where QSettings keeps the user's "orvalen/orvalenctl" in the ini format; built here, since
    // QSettings reads the file as soon as it is made.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/orvalen/orvalenctl.ini");
}

RememberedPrinter RememberedPrinter::Load(QString& problem)
{
    problem.clear();
    const QString path = FileName();
    const std::optional<QByteArray> bytes = ReadSettingsFile(path, problem);
    if (!bytes)
        return {};
    // QSettings reads a copy of what was checked, so that it never opens the file itself.
    QTemporaryFile copy;
    if (!copy.open() || copy.write(*bytes) != bytes->size() || !copy.flush()) {
        problem = Ctl::tr("%1 cannot be read: no room for a copy").arg(path);
        return {};
    }
    const QSettings settings(copy.fileName(), QSettings::IniFormat);
    RememberedPrinter printer;
    printer.Port = settings.value(PortKey).toString();
    printer.Serial = settings.value(SerialKey).toString();
    if (settings.status() != QSettings::NoError || !ValidPort(printer.Port) ||
        !ValidSerial(printer.Serial)) {
        problem = Ctl::tr("%1 is damaged: it holds no valid port and serial number").arg(path);
        return {};
    }
    return printer;
}

bool RememberedPrinter::Save(QString& error) const
{
    const QString path = FileName();
    // A link is followed only to a regular file: as root, a link to /dev/zero must not turn the
    // machine's /dev/zero into a file. A damaged regular file is replaced.
    struct stat st;
    if (stat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        error = Ctl::tr("%1 (not a regular file: left as it is)").arg(path);
        return false;
    }
    QTemporaryFile rendered;
    if (!rendered.open()) {
        error = path;
        return false;
    }
    {
        QSettings settings(rendered.fileName(), QSettings::IniFormat);
        settings.setValue(PortKey, Port);
        settings.setValue(SerialKey, Serial);
        settings.sync();
        if (settings.status() != QSettings::NoError) {
            error = path;
            return false;
        }
    }
    QFile written(rendered.fileName());
    QSaveFile file(path);
    if (!written.open(QIODevice::ReadOnly) || !QDir().mkpath(QFileInfo(path).path()) ||
        !file.open(QIODevice::WriteOnly) || file.write(written.readAll()) < 0 || !file.commit()) {
        error = file.errorString().isEmpty()
                    ? path
                    : QStringLiteral("%1 (%2)").arg(path, file.errorString());
        return false;
    }
    return true;
}
