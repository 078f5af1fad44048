#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

// The journal opened for reading, and where its last whole line ended when it was opened: lines
// are only ever appended, so the part up to there no longer changes, and the reading needs no
// lock after the look. Each side's handle and lock are its own (posix/, win32/).
class JournalSnapshot
{
public:
    // Opens the journal at `path` for reading. Only a regular file is read: anything else is
    // refused with a message before anything waits on it. A missing journal is an empty one.
    explicit JournalSnapshot(const QString& path);
    ~JournalSnapshot();
    JournalSnapshot(const JournalSnapshot&) = delete;
    JournalSnapshot& operator=(const JournalSnapshot&) = delete;

    bool IsOpen() const;
    // Why the journal could not be opened; empty when it was, or does not exist.
    const QString& Error() const { return error_; }
    qint64 Size() const { return size_; }

    // `size` bytes at `offset`, fewer where the file was cut shorter since the look; nothing
    // when the reading failed, with "path: system error" in `error`.
    std::optional<QByteArray> ReadAt(qint64 offset, qsizetype size, QString& error) const;

    struct Side;

private:
    QString path_;
    QString error_;
    qint64 size_ = 0;
    std::unique_ptr<Side> side_;
};
