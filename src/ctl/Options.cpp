#include "ctl/Options.h"

#include "ctl/Console.h"

#include "Version.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace {

struct CommandInfo
{
    Options::Command Job;
    const char* Name;
};

constexpr CommandInfo Commands[] = {
    {Options::Command::Ports, "ports"},       {Options::Command::Find, "find"},
    {Options::Command::Status, "status"},     {Options::Command::Z, "z"},
    {Options::Command::Clock, "clock"},       {Options::Command::History, "history"},
    {Options::Command::Schedule, "schedule"},
};

constexpr struct
{
    ScheduleAction Action;
    const char* Name;
} ScheduleActions[] = {
    {ScheduleAction::Install, "install"},
    {ScheduleAction::Remove, "remove"},
    {ScheduleAction::Show, "show"},
};

QString HelpText(const QCommandLineParser& parser)
{
    QString text = parser.helpText();
    // The usage line names the program as typed, which for a timer or a build is a full path.
    const qsizetype firstLineEnd = text.indexOf(QLatin1Char('\n'));
    const QString program = QCoreApplication::arguments().value(0);
    if (firstLineEnd > 0 && !program.isEmpty())
        text = text.left(firstLineEnd).replace(program, QStringLiteral("orvalenctl")) +
               text.mid(firstLineEnd);
    text +=
        Ctl::tr("\nCommands:\n"
                "  ports              COM1..COM20: device file, what is behind it, whether\n"
                "                     this user can open it\n"
                "  find               search COM1..COM20; remember the port and serial found\n"
                "  status             status request; print the serial number and raw reply\n"
                "  z [--if-due]       the daily closing report (Reporte Z)\n"
                "  clock              set the printer's date and time from the computer's\n"
                "  history [--csv]    the journal of jobs, newest last\n"
                "  schedule install|remove|show\n"
                "                     the daily Z at 23:50 (Windows: a scheduled task; Linux:\n"
                "                     how to turn on the systemd user timer that does it)\n"
                "\nExit status: 0 done, 1 the printer refused or did not answer, 2 usage error,\n"
                "3 no printer found, 4 a port could not be opened, 5 another printer answered,\n"
                "6 schedule changed nothing (task already there, or none; Linux: the timer).\n"
                "COMn is a device file: COM1-4 /dev/ttyS0-3, COM5-12 /dev/ttyUSB0-7,\n"
                "COM13-20 /dev/ttyACM0-7, or $ORVALEN_COM_DIR/comn when that is set.\n");
    return text;
}

ParsedCommandLine UsageError(const QString& reason)
{
    ParsedCommandLine result;
    result.Error = QStringLiteral("orvalenctl: %1\n").arg(reason) +
                   Ctl::tr("Try 'orvalenctl --help' for more information.\n");
    result.ExitStatus = ToInt(ExitStatus::Usage);
    return result;
}

// The last "--device PATH" or "--device=PATH" of the command line as its bytes came, when it is
// the path the parser took (a value of another option could look like the option).
std::optional<QByteArray> RawDevice(const QString& path, const QList<QByteArray>& raw)
{
    std::optional<QByteArray> value;
    for (qsizetype i = 1; i < raw.size(); ++i) {
        if (raw[i] == "--")
            break;
        if (raw[i] == "--device" && i + 1 < raw.size())
            value = raw[++i];
        else if (raw[i].startsWith("--device="))
            value = raw[i].mid(qsizetype(sizeof "--device=") - 1);
    }
    if (value && QFile::decodeName(*value) == path)
        return value;
    return std::nullopt;
}

// The device path made absolute and clean, its bytes as typed: a name that is not valid text in
// the locale (not UTF-8) is opened as it is, not as its decoded look-alike.
QByteArray DevicePath(const QString& path, const QList<QByteArray>& raw)
{
    QByteArray bytes = RawDevice(path, raw).value_or(QFile::encodeName(path));
    if (!bytes.startsWith('/'))
        bytes = QFile::encodeName(QDir::currentPath()) + '/' + bytes;
    // Latin-1 keeps every byte as one character, so cleaning changes nothing but the separators.
    return QDir::cleanPath(QString::fromLatin1(bytes)).toLatin1();
}

} // namespace

bool IsPortName(const QString& name)
{
    // Anchored at the very end: "$" alone would let "COM3\n" through.
    static const QRegularExpression comName(
        QRegularExpression::anchoredPattern(QStringLiteral("COM([1-9]|1[0-9]|20)")));
    return comName.match(name).hasMatch();
}

QString CommandName(Options::Command command)
{
    for (const CommandInfo& info : Commands) {
        if (info.Job == command)
            return QString::fromLatin1(info.Name);
    }
    return {};
}

ParsedCommandLine ParseOptions(const QStringList& arguments, const QList<QByteArray>& rawArguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        Ctl::tr("The fiscal printer's daily jobs without the window."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  Ctl::tr("Show this help and exit."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     Ctl::tr("Show the version and exit."));
    const QCommandLineOption port(QStringLiteral("port"),
                                  Ctl::tr("The printer's port, COM1 to COM20."),
                                  QStringLiteral("COMn"));
    const QCommandLineOption device(QStringLiteral("device"),
                                    Ctl::tr("The printer's device file, e.g. /dev/ttyUSB0."),
                                    QStringLiteral("PATH"));
    const QCommandLineOption json(QStringLiteral("json"),
                                  Ctl::tr("Results as JSON on standard output."));
    const QCommandLineOption trafficLog(QStringLiteral("traffic-log"),
                                        Ctl::tr("Append the bytes exchanged to FILE."),
                                        QStringLiteral("FILE"));
    const QCommandLineOption ifDue(QStringLiteral("if-due"),
                                   Ctl::tr("z: only when no Z was answered in the last 12 hours."));
    const QCommandLineOption csv(QStringLiteral("csv"),
                                 Ctl::tr("history: comma-separated values with a header."));
    parser.addOptions({help, version, port, device, json, trafficLog, ifDue, csv});
    parser.addPositionalArgument(QStringLiteral("command"), Ctl::tr("The job to do (below)."),
                                 QStringLiteral("COMMAND"));

    if (!parser.parse(arguments))
        return UsageError(parser.errorText());

    ParsedCommandLine result;
    if (parser.isSet(help)) {
        result.Output = HelpText(parser);
        return result;
    }
    if (parser.isSet(version)) {
        result.Output = QStringLiteral("orvalenctl %1\n").arg(QLatin1String(OrvalenVersion));
        return result;
    }

    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return UsageError(Ctl::tr("no command given"));
    Options options;
    bool known = false;
    for (const CommandInfo& info : Commands) {
        if (positional.first() == QLatin1String(info.Name)) {
            options.Job = info.Job;
            known = true;
        }
    }
    if (!known)
        return UsageError(Ctl::tr("unknown command '%1'").arg(positional.first()));
    if (options.Job == Options::Command::Schedule) {
        if (positional.size() < 2)
            return UsageError(Ctl::tr("schedule needs install, remove or show"));
        known = false;
        for (const auto& action : ScheduleActions) {
            if (positional.at(1) == QLatin1String(action.Name)) {
                options.Scheduling = action.Action;
                known = true;
            }
        }
        if (!known)
            return UsageError(
                Ctl::tr("schedule takes install, remove or show, not '%1'").arg(positional.at(1)));
        positional.removeAt(1);
    }
    if (positional.size() > 1)
        return UsageError(Ctl::tr("unexpected argument '%1'").arg(positional.at(1)));

    if (parser.isSet(port) && parser.isSet(device))
        return UsageError(Ctl::tr("--port and --device exclude each other"));
    if (parser.isSet(port)) {
        options.Port = parser.value(port).toUpper();
        if (!IsPortName(options.Port))
            return UsageError(
                Ctl::tr("--port takes COM1 to COM20, not '%1'").arg(parser.value(port)));
    }
    if (parser.isSet(device)) {
        const QString path = parser.value(device);
        if (path.isEmpty())
            return UsageError(Ctl::tr("--device needs a path"));
        options.Device = DevicePath(path, rawArguments);
    }
    if (parser.isSet(trafficLog)) {
        options.TrafficLog = parser.value(trafficLog);
        if (options.TrafficLog.isEmpty())
            return UsageError(Ctl::tr("--traffic-log needs a file"));
    }
    options.Json = parser.isSet(json);
    options.IfDue = parser.isSet(ifDue);
    options.Csv = parser.isSet(csv);
    if (options.IfDue && options.Job != Options::Command::Z)
        return UsageError(Ctl::tr("--if-due belongs to the z command"));
    if (options.Csv && options.Job != Options::Command::History)
        return UsageError(Ctl::tr("--csv belongs to the history command"));
    if (options.Csv && options.Json)
        return UsageError(Ctl::tr("--csv and --json exclude each other"));
    result.Parsed = options;
    return result;
}
