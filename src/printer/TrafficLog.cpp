#include "printer/TrafficLog.h"

#include "printer/TrafficFormat.h"
#include "printer/TrafficRecord.h"

#include <cstdio>

TTrafficLog::TTrafficLog(const QString& path) : file_(path) {}

std::unique_ptr<TTrafficLog> TTrafficLog::Open(const QString& path, QString& error)
{
    std::unique_ptr<TTrafficLog> log(new TTrafficLog(path));
    if (!log->file_.open(QIODevice::WriteOnly | QIODevice::Append)) {
        error = QStringLiteral("cannot open the traffic log %1: %2")
                    .arg(path, log->file_.errorString());
        return nullptr;
    }
    return log;
}

void TTrafficLog::Follow(const TTrafficRecord& record)
{
    connect(&record, &TTrafficRecord::Added, this, &TTrafficLog::Write);
}

void TTrafficLog::Write(const TTrafficEntry& entry)
{
    const QByteArray line = TrafficLine(entry).toUtf8() + '\n';
    if (file_.write(line) == line.size() && file_.flush())
        return;
    // Said once: the program goes on without its log rather than stop the technician's work.
    if (!failed_)
        std::fprintf(stderr, "orvalen: writing the traffic log %s failed: %s\n",
                     qPrintable(file_.fileName()), qPrintable(file_.errorString()));
    failed_ = true;
}
