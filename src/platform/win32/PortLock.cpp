#include "platform/win32/PortLock.h"

#include <QDir>
#include <QStandardPaths>

#include <windows.h>

namespace {

// The byte locked lies far beyond the holder's line, which stays readable to everyone.
constexpr DWORD LockedOffset = 0x40000000;

bool LockAt(HANDLE file, DWORD& error)
{
    OVERLAPPED at{};
    at.Offset = LockedOffset;
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
        return true;
    error = GetLastError();
    return false;
}

void UnlockAt(HANDLE file)
{
    OVERLAPPED at{};
    at.Offset = LockedOffset;
    UnlockFileEx(file, 0, 1, 0, &at);
}

UniqueHandle OpenLockFile(const QString& path, DWORD disposition, DWORD& error)
{
    UniqueHandle file(CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()),
                                  GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen())
        error = GetLastError();
    return file;
}

} // namespace

QString PortLock::FileName(const QString& comName)
{
    QString base = qEnvironmentVariable("LOCALAPPDATA");
    if (base.isEmpty())
        base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    // Never "COM3.lock": a device name with any extension is the device itself on Windows.
    return QDir::toNativeSeparators(
        base + QStringLiteral("/Orvalen/ports/port-%1.lock").arg(comName.toUpper()));
}

PortLock::PortLock(const QString& comName, const QString& program)
{
    const QString path = FileName(comName);
    if (!QDir().mkpath(QDir::fromNativeSeparators(path).section(QLatin1Char('/'), 0, -2))) {
        error_ = ERROR_PATH_NOT_FOUND;
        return;
    }
    UniqueHandle file = OpenLockFile(path, OPEN_ALWAYS, error_);
    if (!file.IsOpen() || !LockAt(file.Get(), error_))
        return;
    // Ours now: the line names this holder, in place of whoever held it last.
    const QByteArray line =
        QByteArray::number(qulonglong(GetCurrentProcessId())) + ' ' + program.toUtf8() + '\n';
    DWORD written = 0;
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(file.Get(), start, nullptr, FILE_BEGIN) ||
        !WriteFile(file.Get(), line.constData(), DWORD(line.size()), &written, nullptr) ||
        !SetEndOfFile(file.Get())) {
        // The claim holds without its line; the next one only cannot name us.
    }
    file_ = std::move(file);
}

std::optional<DeviceHolder> PortLockHolder(const QString& comName)
{
    DWORD error = 0;
    const UniqueHandle file = OpenLockFile(PortLock::FileName(comName), OPEN_EXISTING, error);
    if (!file.IsOpen())
        return std::nullopt;
    if (LockAt(file.Get(), error)) {
        UnlockAt(file.Get());
        return std::nullopt;
    }
    char bytes[512];
    DWORD read = 0;
    if (!ReadFile(file.Get(), bytes, sizeof bytes, &read, nullptr))
        read = 0;
    const QString line = QString::fromUtf8(QByteArray(bytes, int(read)).split('\n').value(0));
    DeviceHolder holder;
    holder.Pid = pid_t(line.section(QLatin1Char(' '), 0, 0).toLongLong());
    holder.Program = line.section(QLatin1Char(' '), 1);
    if (holder.Program.isEmpty())
        holder.Program = QStringLiteral("?");
    return holder;
}
