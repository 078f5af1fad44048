// Appending to the journal with Win32 calls: the exclusive lock over the whole file, one
// WriteFile of the whole line at the end, FlushFileBuffers.
#include "printer/Journal.h"

#include "platform/win32/UniqueHandle.h"
#include "printer/win32/JournalFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>

#include <windows.h>

namespace {

// Whether the file ends in the middle of a line (a writer that died, a full disk): the next
// line then starts on a line of its own instead of gluing itself to the broken one.
bool EndsInsideALine(HANDLE file, LONGLONG size)
{
    if (size <= 0)
        return false;
    char last = '\n';
    DWORD n = 0;
    OVERLAPPED at = JournalFile::At(size - 1);
    return ReadFile(file, &last, 1, &n, &at) && n == 1 && last != '\n';
}

} // namespace

QString Journal::DefaultPath()
{
    QString local = qEnvironmentVariable("LOCALAPPDATA");
    if (local.isEmpty() || !QDir::isAbsolutePath(local))
        local = QDir::homePath() + QStringLiteral("/AppData/Local");
    return QDir::fromNativeSeparators(local) + QStringLiteral("/Orvalen/journal.jsonl");
}

Journal::Appended Journal::TryAppend(const JobRecord& record, QString& error) const
{
    const QString folder = QFileInfo(path_).absolutePath();
    if (!QDir().mkpath(folder)) {
        error = QStringLiteral("%1: the folder cannot be created")
                    .arg(QDir::toNativeSeparators(folder));
        return Appended::Failed;
    }
    const std::wstring name = QDir::toNativeSeparators(path_).toStdWString();
    // Read as well as written: the last byte tells whether the file ends inside a line.
    const UniqueHandle file(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen()) {
        error = JournalFile::SystemError(path_, GetLastError());
        return Appended::Failed;
    }
    // A device (NUL, a COM port) or a pipe under the journal's name is no journal.
    if (GetFileType(file.Get()) != FILE_TYPE_DISK) {
        error = JournalFile::NotRegular(path_, QCoreApplication::translate("Journal", "a device"));
        return Appended::Failed;
    }
    const JournalFile::Lock lock(file.Get(), JournalFile::Lock::Kind::Exclusive,
                                 std::chrono::milliseconds(0));
    if (!lock.Locked()) {
        if (lock.Error() == ERROR_LOCK_VIOLATION) {
            error = QCoreApplication::translate("Journal", "%1: locked by another program")
                        .arg(QDir::toNativeSeparators(path_));
            return Appended::Locked;
        }
        error = JournalFile::SystemError(path_, lock.Error());
        return Appended::Failed;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size)) {
        error = JournalFile::SystemError(path_, GetLastError());
        return Appended::Failed;
    }
    QByteArray line = QJsonDocument(record.ToJson()).toJson(QJsonDocument::Compact) + '\n';
    if (EndsInsideALine(file.Get(), size.QuadPart))
        line.prepend('\n');
    // One write of the whole line at the end; a line cut short (a full disk) is taken back, so
    // that the journal is as it was.
    OVERLAPPED at = JournalFile::At(size.QuadPart);
    DWORD written = 0;
    if (!WriteFile(file.Get(), line.constData(), DWORD(line.size()), &written, &at) ||
        written != DWORD(line.size())) {
        const DWORD why = written != DWORD(line.size()) && GetLastError() == ERROR_SUCCESS
                              ? ERROR_DISK_FULL
                              : GetLastError();
        error = JournalFile::SystemError(path_, why);
        FILE_END_OF_FILE_INFO end{};
        end.EndOfFile = size;
        SetFileInformationByHandle(file.Get(), FileEndOfFileInfo, &end, sizeof end);
        return Appended::Failed;
    }
    if (!FlushFileBuffers(file.Get())) {
        error = JournalFile::SystemError(path_, GetLastError());
        return Appended::Failed;
    }
    return Appended::Written;
}
