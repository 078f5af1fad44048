#pragma once

#include <QFile>
#include <QObject>
#include <QString>

#include <memory>

class TTrafficRecord;
struct TTrafficEntry;

// The traffic record appended to a file as it happens, one line per entry, each flushed at once
// so that the file is complete up to the last entry even if the program is killed.
class TTrafficLog : public QObject
{
    Q_OBJECT
public:
    // Opens the file for appending (created if missing). On failure returns nothing and says
    // why in `error`.
    static std::unique_ptr<TTrafficLog> Open(const QString& path, QString& error);

    // Writes every entry the record adds from now on.
    void Follow(const TTrafficRecord& record);

    void Write(const TTrafficEntry& entry);

private:
    explicit TTrafficLog(const QString& path);

    QFile file_;
    bool failed_ = false;
};
