#include "app/CommandLine.h"

#include "app/PlatformHelp.h"

#include "Version.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

namespace {

constexpr int UsageErrorStatus = 2;

const QString ProgramName = QStringLiteral("orvalen");

// Qt's window-system options, which QApplication takes out of argv itself. They are accepted here
// (as -name or --name) so that "orvalen -platform offscreen" keeps working.
QList<QCommandLineOption> QtOptions()
{
    QList<QCommandLineOption> options;
    for (const char* name : {"platform", "platformpluginpath", "platformtheme", "plugin",
                             "qwindowgeometry", "geometry", "qwindowicon", "qwindowtitle", "title",
                             "session", "display", "name", "style", "stylesheet"}) {
        options.append(QCommandLineOption(QString::fromLatin1(name), QString(), "value"));
    }
    for (const char* name : {"reverse", "widgetcount", "nograb", "dograb", "sync"})
        options.append(QCommandLineOption(QString::fromLatin1(name)));
    for (QCommandLineOption& option : options)
        option.setFlags(QCommandLineOption::HiddenFromHelp);
    return options;
}

QString OptionLine(const QCommandLineOption& option)
{
    QStringList names;
    for (const QString& name : option.names())
        names.append((name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name);
    QString left = names.join(QStringLiteral(", "));
    if (!option.valueName().isEmpty())
        left += QLatin1Char(' ') + option.valueName();
    return QStringLiteral("  %1  %2\n").arg(left, -20).arg(option.description());
}

QString HelpText(const QList<QCommandLineOption>& options)
{
    QString text = QStringLiteral(
        "Usage: orvalen [options]\n"
        "Finds a fiscal receipt printer on the serial ports COM1 to COM20, prints its daily\n"
        "closing report (Reporte Z), sets its clock from the computer's and runs its tests.\n"
        "\n"
        "Options:\n");
    for (const QCommandLineOption& option : options) {
        if (!(option.flags() & QCommandLineOption::HiddenFromHelp))
            text += OptionLine(option);
    }
    text += QStringLiteral(
        "  Qt's window-system options (-platform, -display, -style, ...) are understood too.\n"
        "\n");
    text += PortsHelp();
    text += QStringLiteral(
        "Traffic log lines (the simulator orvalen-printer-sim writes the same shape):\n"
        "  2026-12-07T22:25:39.123 TX 02 44 80 03 30 30 43 39 | <STX>D<80><ETX>00C9\n"
        "  local time; TX to the printer, RX from it, EV an event and its text; the bytes in\n"
        "  hex; the readable form with control bytes named\n"
        "\n");
    text += EnvironmentHelp();
    return text;
}

CommandLine UsageError(const QString& message)
{
    CommandLine result;
    result.exitStatus = UsageErrorStatus;
    result.error =
        QStringLiteral("%1: %2\nTry '%1 --help' for more information.\n").arg(ProgramName, message);
    return result;
}

} // namespace

CommandLine ParseCommandLine(const QStringList& arguments)
{
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("show this help and exit"));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("show the version and exit"));
    const QCommandLineOption trafficLog(
        QStringLiteral("traffic-log"),
        QStringLiteral("append every byte sent to and received from the printer, and the\n"
                       "%1search's events, to FILE, one line per entry as it happens")
            .arg(QString(24, QLatin1Char(' '))),
        QStringLiteral("FILE"));
    QList<QCommandLineOption> options = {help, version, trafficLog};
    options.append(QtOptions());

    QCommandLineParser parser;
    // Qt's own options are written with one dash (-platform); ours have both forms.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions(options);

    if (!parser.parse(arguments))
        return UsageError(parser.errorText());
    if (!parser.positionalArguments().isEmpty()) {
        return UsageError(
            QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
    }

    CommandLine result;
    result.trafficLog = parser.value(trafficLog);
    if (parser.isSet(trafficLog) && result.trafficLog.isEmpty())
        return UsageError(QStringLiteral("--traffic-log needs a file name"));
    if (parser.isSet(help)) {
        result.exitStatus = 0;
        result.output = HelpText(options);
    } else if (parser.isSet(version)) {
        result.exitStatus = 0;
        result.output = QStringLiteral("orvalen %1\n").arg(QString::fromLatin1(OrvalenVersion));
    }
    return result;
}

QStringList ArgumentList(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}
