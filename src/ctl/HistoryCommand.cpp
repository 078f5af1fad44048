#include "ctl/HistoryCommand.h"

#include "printer/Journal.h"

#include <QHash>
#include <QJsonDocument>
#include <QSet>
#include <QStringList>

#include <algorithm>
#include <optional>

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

// The key that pairs a Z's "sending" line with the line its job writes when it ends: one job at
// a time has a port open, so that line is the next one of the same port and printer.
QString PairKey(const JobRecord& record)
{
    return QString::fromLocal8Bit(record.Device) + QLatin1Char('\n') + record.Serial;
}

bool IsZ(const JobRecord& record)
{
    return record.Command == QLatin1String("z");
}

bool IsSending(const JobRecord& record)
{
    return IsZ(record) && record.Result == ResultName(JobResult::Sending);
}

// The first reading: damaged lines (told on stderr), the Z reports whose sending was recorded
// and whose end never was, and what the table's columns need.
struct Survey
{
    QSet<qint64> Interrupted; // line numbers of their "sending" lines
    qint64 LastLine = 0;      // the second reading stops here: what came since was not surveyed
    qsizetype Rows = 0;
    QList<qsizetype> Widths;
};

// A Z's "sending" line as `history` shows it when its end is missing.
JobRecord AsInterrupted(JobRecord sending)
{
    sending.Result = QStringLiteral("interrupted");
    return sending;
}

// The lines as `history` shows them: a Z's "sending" line only when its end is missing, then as
// "interrupted"; the line its job wrote tells the rest.
std::optional<JobRecord> Shown(qint64 line, const JobRecord& record, const Survey& survey)
{
    if (!IsSending(record))
        return record;
    if (!survey.Interrupted.contains(line))
        return std::nullopt;
    return AsInterrupted(record);
}

QStringList TableHeader()
{
    // The raw reply is left to --csv and --json: it would make every line wrap.
    return {Ctl::tr("TIME"),   Ctl::tr("COMMAND"), Ctl::tr("PORT"),
            Ctl::tr("DEVICE"), Ctl::tr("SERIAL"),  Ctl::tr("RESULT")};
}

QStringList TableRow(const JobRecord& record)
{
    QStringList row = Fields(record).mid(0, TableHeader().size());
    row.last() = ResultWord(record.Result); // --csv and --json keep the name
    return row;
}

Survey SurveyJournal(const Journal& journal, HistoryFormat format, const Console& console,
                     QString& error)
{
    Survey survey;
    QHash<QString, qint64> pending; // key: the line of a "sending" not yet followed by its end
    auto widen = [&survey](const QStringList& row) {
        survey.Widths.resize(row.size());
        for (qsizetype i = 0; i < row.size(); ++i)
            survey.Widths[i] = std::max(survey.Widths[i], row[i].size());
    };
    widen(TableHeader());
    error = journal.Read([&](qint64 line, const std::optional<JobRecord>& record) {
        survey.LastLine = line;
        if (!record) {
            console.Message(
                Ctl::tr("%1: line %2 is damaged and left out").arg(journal.Path()).arg(line));
            return true;
        }
        if (IsZ(*record)) {
            const auto earlier = pending.constFind(PairKey(*record));
            if (earlier != pending.cend() && IsSending(*record))
                survey.Interrupted.insert(*earlier);
            if (IsSending(*record))
                pending.insert(PairKey(*record), line);
            else
                pending.remove(PairKey(*record));
        }
        // Whether a sending line is shown is known only at the end: its width counts anyway.
        if (format == HistoryFormat::Table)
            widen(TableRow(IsSending(*record) ? AsInterrupted(*record) : *record));
        if (!IsSending(*record))
            ++survey.Rows;
        return true;
    });
    for (const qint64 line : std::as_const(pending))
        survey.Interrupted.insert(line);
    survey.Rows += survey.Interrupted.size();
    return survey;
}

QString TableLine(const QStringList& row, const QList<qsizetype>& widths)
{
    QString line;
    for (qsizetype i = 0; i < row.size(); ++i)
        line += i + 1 < row.size() ? row[i].leftJustified(widths[i] + 2) : row[i];
    return line.trimmed();
}

QString FormattedLine(const JobRecord& record, HistoryFormat format, const Survey& survey)
{
    switch (format) {
    case HistoryFormat::Json:
        return QString::fromUtf8(QJsonDocument(record.ToJson()).toJson(QJsonDocument::Compact));
    case HistoryFormat::Csv: {
        QStringList fields = Fields(record);
        for (QString& field : fields)
            field = CsvField(field);
        return fields.join(QLatin1Char(','));
    }
    case HistoryFormat::Table:
        break;
    }
    return TableLine(TableRow(record), survey.Widths);
}

} // namespace

// Two readings, each a line at a time, so that a journal of any size is shown in little memory:
// the first finds the interrupted Z reports and the table's widths, the second writes the lines.
ExitStatus RunHistory(const Journal& journal, HistoryFormat format, const Console& console)
{
    QString error;
    const Survey survey = SurveyJournal(journal, format, console, error);
    if (!error.isEmpty()) {
        console.Message(Ctl::tr("cannot read the journal %1").arg(error));
        return ExitStatus::CannotOpen;
    }
    switch (format) {
    case HistoryFormat::Json:
        break;
    case HistoryFormat::Csv:
        console.Result(QStringLiteral("time,command,port,device,serial,result,reply_hex"));
        break;
    case HistoryFormat::Table:
        if (survey.Rows == 0) {
            console.Progress(Ctl::tr("the journal %1 holds no jobs yet").arg(journal.Path()));
            return ExitStatus::Done;
        }
        console.Result(TableLine(TableHeader(), survey.Widths));
        break;
    }
    error = journal.Read([&](qint64 line, const std::optional<JobRecord>& record) {
        if (line > survey.LastLine || console.ResultsFailed())
            return false;
        if (record)
            if (const std::optional<JobRecord> shown = Shown(line, *record, survey))
                console.Result(FormattedLine(*shown, format, survey));
        return true;
    });
    if (!error.isEmpty()) {
        console.Message(Ctl::tr("cannot read the journal %1").arg(error));
        return ExitStatus::CannotOpen;
    }
    return ExitStatus::Done;
}
