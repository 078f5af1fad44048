#include "ctl/HistoryCommand.h"

#include "printer/Journal.h"

#include <QJsonDocument>
#include <QStringList>

namespace {

QString CsvField(const QString& value)
{
    if (!value.contains(QLatin1Char(',')) && !value.contains(QLatin1Char('"')) &&
        !value.contains(QLatin1Char('\n')))
        return value;
    QString quoted = value;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QStringList Fields(const JobRecord& record)
{
    const QJsonObject object = record.ToJson();
    return {object.value(QStringLiteral("time")).toString(),
            record.Command,
            record.Port,
            QString::fromLocal8Bit(record.Device),
            record.Serial,
            record.Result,
            object.value(QStringLiteral("reply_hex")).toString()};
}

void PrintTable(const QList<JobRecord>& records, const Console& console)
{
    // The raw reply is left to --csv and --json: it would make every line wrap.
    const QStringList header{Ctl::tr("TIME"),   Ctl::tr("COMMAND"), Ctl::tr("PORT"),
                             Ctl::tr("DEVICE"), Ctl::tr("SERIAL"),  Ctl::tr("RESULT")};
    QList<QStringList> rows{header};
    for (const JobRecord& record : records) {
        rows.append(Fields(record).mid(0, header.size()));
        rows.last().last() = ResultWord(record.Result); // --csv and --json keep the name
    }
    QList<qsizetype> widths(header.size(), 0);
    for (const QStringList& row : rows) {
        for (qsizetype i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    }
    for (const QStringList& row : rows) {
        QString line;
        for (qsizetype i = 0; i < row.size(); ++i)
            line += i + 1 < row.size() ? row[i].leftJustified(widths[i] + 2) : row[i];
        console.Result(line.trimmed());
    }
}

} // namespace

ExitStatus RunHistory(const Journal& journal, HistoryFormat format, const Console& console)
{
    const Journal::Contents contents = journal.ReadAll();
    if (!contents.Error.isEmpty()) {
        console.Message(Ctl::tr("cannot read the journal %1").arg(contents.Error));
        return ExitStatus::CannotOpen;
    }
    for (int line : contents.DamagedLines)
        console.Message(
            Ctl::tr("%1: line %2 is damaged and left out").arg(journal.Path()).arg(line));

    switch (format) {
    case HistoryFormat::Json:
        for (const JobRecord& record : contents.Records)
            console.Result(
                QString::fromUtf8(QJsonDocument(record.ToJson()).toJson(QJsonDocument::Compact)));
        break;
    case HistoryFormat::Csv:
        console.Result(QStringLiteral("time,command,port,device,serial,result,reply_hex"));
        for (const JobRecord& record : contents.Records) {
            QStringList fields = Fields(record);
            for (QString& field : fields)
                field = CsvField(field);
            console.Result(fields.join(QLatin1Char(',')));
        }
        break;
    case HistoryFormat::Table:
        if (contents.Records.isEmpty())
            console.Progress(Ctl::tr("the journal %1 holds no jobs yet").arg(journal.Path()));
        else
            PrintTable(contents.Records, console);
        break;
    }
    return ExitStatus::Done;
}
