#include "ctl/DailyTaskXml.h"

#include <QStringEncoder>
#include <QXmlStreamWriter>

namespace {

constexpr auto TaskNamespace = "http://schemas.microsoft.com/windows/2004/02/mit/task";

// A path with a space (C:\Program Files\...) is one word only when quoted.
QString Quoted(const QString& path)
{
    return path.contains(QLatin1Char(' ')) ? QLatin1Char('"') + path + QLatin1Char('"') : path;
}

void Element(QXmlStreamWriter& xml, const char* name, const QString& value)
{
    xml.writeTextElement(QLatin1String(name), value);
}

void Exec(QXmlStreamWriter& xml, const DailyTask& task, const QString& job)
{
    xml.writeStartElement(QStringLiteral("Exec"));
    Element(xml, "Command", Quoted(task.Program));
    Element(xml, "Arguments",
            QStringLiteral("%1 --traffic-log %2").arg(job, Quoted(task.TrafficLog)));
    xml.writeEndElement();
}

} // namespace

QString DailyTaskXml::Text() const
{
    // The declaration by hand: QXmlStreamWriter names no encoding when it writes to a string,
    // and the file is UTF-16.
    QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n");
    QXmlStreamWriter xml(&text);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartElement(QStringLiteral("Task"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1.2"));
    xml.writeDefaultNamespace(QLatin1String(TaskNamespace));

    xml.writeStartElement(QStringLiteral("RegistrationInfo"));
    Element(xml, "Author", task_.UserId);
    Element(xml, "Description",
            QStringLiteral("The fiscal printer's daily closing report (Reporte Z), then its clock. "
                           "Added by 'orvalenctl schedule install'."));
    xml.writeEndElement();

    xml.writeStartElement(QStringLiteral("Triggers"));
    xml.writeStartElement(QStringLiteral("CalendarTrigger"));
    // No time zone: 23:50 on the computer's clock, summer time or not.
    Element(xml, "StartBoundary",
            task_.FirstDay.startOfDay()
                .addSecs(23 * 3600 + 50 * 60)
                .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")));
    Element(xml, "Enabled", QStringLiteral("true"));
    xml.writeStartElement(QStringLiteral("ScheduleByDay"));
    Element(xml, "DaysInterval", QStringLiteral("1"));
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndElement();

    // The user's own session: the port and the journal are the user's, and no password is kept.
    xml.writeStartElement(QStringLiteral("Principals"));
    xml.writeStartElement(QStringLiteral("Principal"));
    xml.writeAttribute(QStringLiteral("id"), QStringLiteral("Author"));
    Element(xml, "UserId", task_.UserId);
    Element(xml, "LogonType", QStringLiteral("InteractiveToken"));
    Element(xml, "RunLevel", QStringLiteral("LeastPrivilege"));
    xml.writeEndElement();
    xml.writeEndElement();

    xml.writeStartElement(QStringLiteral("Settings"));
    Element(xml, "MultipleInstancesPolicy", QStringLiteral("IgnoreNew"));
    // A shop's laptop on battery at closing time still wants its Z.
    Element(xml, "DisallowStartIfOnBatteries", QStringLiteral("false"));
    Element(xml, "StopIfGoingOnBatteries", QStringLiteral("false"));
    Element(xml, "StartWhenAvailable", QStringLiteral("true"));
    Element(xml, "RunOnlyIfNetworkAvailable", QStringLiteral("false"));
    xml.writeStartElement(QStringLiteral("IdleSettings"));
    Element(xml, "StopOnIdleEnd", QStringLiteral("false"));
    Element(xml, "RestartOnIdle", QStringLiteral("false"));
    xml.writeEndElement();
    Element(xml, "AllowStartOnDemand", QStringLiteral("true"));
    Element(xml, "Enabled", QStringLiteral("true"));
    Element(xml, "Hidden", QStringLiteral("false"));
    Element(xml, "RunOnlyIfIdle", QStringLiteral("false"));
    Element(xml, "WakeToRun", QStringLiteral("false"));
    // Two jobs of at most a few minutes each; this only ends a run that hangs.
    Element(xml, "ExecutionTimeLimit", QStringLiteral("PT1H"));
    Element(xml, "Priority", QStringLiteral("7"));
    xml.writeEndElement();

    xml.writeStartElement(QStringLiteral("Actions"));
    xml.writeAttribute(QStringLiteral("Context"), QStringLiteral("Author"));
    Exec(xml, task_, QStringLiteral("z --if-due"));
    Exec(xml, task_, QStringLiteral("clock"));
    xml.writeEndElement();

    xml.writeEndElement();
    xml.writeEndDocument();
    return text;
}

QByteArray DailyTaskXml::Utf16() const
{
    QStringEncoder encode(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom);
    return encode(Text());
}
