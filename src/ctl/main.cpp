#include "ctl/Console.h"
#include "ctl/ConsoleStream.h"
#include "ctl/HistoryCommand.h"
#include "ctl/Options.h"
#include "ctl/PortsCommand.h"
#include "ctl/PrinterJobs.h"
#include "ctl/Schedule.h"
#include "platform/PortSurvey.h"
#include "platform/StandardDescriptors.h"
#include "printer/Journal.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdio>

namespace {

// Spanish when the user's locale is Spanish, English (the source texts) otherwise.
void InstallTranslations(QCoreApplication& app, QTranslator& own, QTranslator& qt)
{
    const QLocale locale;
    if (locale.language() != QLocale::Spanish)
        return;
    if (own.load(locale, QStringLiteral("orvalenctl"), QStringLiteral("_"),
                 QStringLiteral(":/i18n")))
        app.installTranslator(&own);
    // QCommandLineParser's own errors ("Unknown option") come from Qt's catalogue.
    if (qt.load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&qt);
}

} // namespace

int main(int argc, char** argv)
{
    // A closed stdout would hand its number to the journal, and the results would land there.
    OpenStandardDescriptors();
#ifdef ORVALENCTL_WINDOWLESS
    // No console: results and messages go nowhere, and writing them is no failure.
    std::freopen("NUL", "w", stdout);
    std::freopen("NUL", "w", stderr);
    Console::WithoutReader();
#endif
    // The arguments as bytes, before the application object may take some out: a device path
    // need not be text.
    QList<QByteArray> rawArguments;
    for (int i = 0; i < argc; ++i)
        rawArguments.append(QByteArray(argv[i]));
    RouteWarningsToConsole();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvalenctl"));
    QTranslator own;
    QTranslator qt;
    InstallTranslations(app, own, qt);

    const ParsedCommandLine commandLine = ParseOptions(QCoreApplication::arguments(), rawArguments);
    if (!commandLine.Parsed) {
        ConsoleStream::Write(stdout, commandLine.Output);
        ConsoleStream::Write(stderr, commandLine.Error);
        return commandLine.ExitStatus;
    }
    const Options& options = *commandLine.Parsed;
    const Console console;
    const Journal journal(Journal::DefaultPath());
    switch (options.Job) {
    case Options::Command::Ports:
        return ToInt(console.Finished(RunPorts(PortSurvey(), options.Json, console)));
    case Options::Command::History:
        return ToInt(console.Finished(RunHistory(journal,
                                                 options.Csv    ? HistoryFormat::Csv
                                                 : options.Json ? HistoryFormat::Json
                                                                : HistoryFormat::Table,
                                                 console)));
    case Options::Command::Schedule:
        return ToInt(console.Finished(RunSchedule(options.Scheduling, *SystemSchedule(), console)));
    case Options::Command::Find:
    case Options::Command::Status:
    case Options::Command::Z:
    case Options::Command::Clock:
        break;
    }
    return ToInt(console.Finished(RunPrinterJob(options, journal, console)));
}
