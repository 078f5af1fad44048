#include "printer/Journal.h"

#include <thread>

QString ResultName(JobResult result)
{
    switch (result) {
    case JobResult::Answered:
        return QStringLiteral("answered");
    case JobResult::Accepted:
        return QStringLiteral("accepted");
    case JobResult::Refused:
        return QStringLiteral("refused");
    case JobResult::NoReply:
        return QStringLiteral("no-reply");
    case JobResult::NotFound:
        return QStringLiteral("not-found");
    case JobResult::CannotOpen:
        return QStringLiteral("cannot-open");
    case JobResult::OtherPrinter:
        return QStringLiteral("other-printer");
    case JobResult::Skipped:
        return QStringLiteral("skipped");
    case JobResult::Sending:
        return QStringLiteral("sending");
    case JobResult::Stopped:
        break;
    }
    return QStringLiteral("stopped");
}

QJsonObject JobRecord::ToJson() const
{
    // The offset is written out ("+00:00" rather than "Z") so that every line reads alike: Qt
    // writes "Z" for any time at offset zero, a computer on UTC included.
    QString time = Time.toOffsetFromUtc(Time.offsetFromUtc()).toString(Qt::ISODate);
    if (time.endsWith(QLatin1Char('Z')))
        time.replace(time.size() - 1, 1, QStringLiteral("+00:00"));
    return QJsonObject{
        {QStringLiteral("command"), Command},
        {QStringLiteral("time"), time},
        {QStringLiteral("port"), Port},
        {QStringLiteral("device"), QString::fromLocal8Bit(Device)},
        {QStringLiteral("serial"), Serial},
        {QStringLiteral("result"), Result},
        {QStringLiteral("reply_hex"), QString::fromLatin1(Reply.toHex())},
    };
}

std::optional<JobRecord> JobRecord::FromJson(const QJsonObject& object)
{
    JobRecord record;
    record.Command = object.value(QStringLiteral("command")).toString();
    record.Result = object.value(QStringLiteral("result")).toString();
    record.Time =
        QDateTime::fromString(object.value(QStringLiteral("time")).toString(), Qt::ISODate);
    if (record.Command.isEmpty() || record.Result.isEmpty() || !record.Time.isValid())
        return std::nullopt;
    record.Port = object.value(QStringLiteral("port")).toString();
    record.Device = object.value(QStringLiteral("device")).toString().toLocal8Bit();
    record.Serial = object.value(QStringLiteral("serial")).toString();
    record.Reply =
        QByteArray::fromHex(object.value(QStringLiteral("reply_hex")).toString().toLatin1());
    return record;
}

bool Journal::Append(const JobRecord& record, QString& error,
                     std::chrono::milliseconds lockWait) const
{
    // The lock is tried again and again rather than waited for in the system: the wait has a
    // limit.
    constexpr auto Step = std::chrono::milliseconds(50);
    const auto deadline = std::chrono::steady_clock::now() + lockWait;
    for (;;) {
        switch (TryAppend(record, error)) {
        case Appended::Written:
            return true;
        case Appended::Failed:
            return false;
        case Appended::Locked:
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(Step);
    }
}
