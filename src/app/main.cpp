#include "app/CommandLine.h"
#include "app/DisplayStart.h"
#include "app/Form1.h"
#include "app/ParentConsole.h"
#include "app/Startup.h"
#include "platform/StandardDescriptors.h"
#include "printer/TrafficLog.h"
#include "printer/TrafficRecord.h"
#include "runtime/Application.h"

#include <memory>

int main(int argc, char** argv)
{
    // Before anything opens a file: with a closed descriptor 2, the X connection or the traffic
    // log would become standard error and take Qt's warnings.
    OpenStandardDescriptors();
    // The command line is read before anything needs a display, so --help and --version work
    // over ssh and in scripts.
    const CommandLine commandLine = ParseCommandLine(ArgumentList(argc, argv));
    if (commandLine.exitStatus) {
        PrintToStartingConsole(commandLine.output, commandLine.error);
        return *commandLine.exitStatus;
    }
    // Opened before any window: a log that cannot be written is a usage error, not a surprise
    // after the procedure.
    std::unique_ptr<TTrafficLog> trafficLog;
    if (!commandLine.trafficLog.isEmpty()) {
        QString error;
        trafficLog = TTrafficLog::Open(commandLine.trafficLog, error);
        if (!trafficLog) {
            PrintToStartingConsole(QString(), QStringLiteral("orvalen: %1\n").arg(error));
            return 2;
        }
    }
    const std::unique_ptr<QApplication> app = StartGuiApplication(argc, argv);
    if (!app)
        return 1;
    InitApplication();
    {
        const auto form = std::make_unique<TForm1>();
        if (trafficLog)
            trafficLog->Follow(*form->traffic);
        ShowMainWindow(*form);
        Application().Run();
    } // the window goes here, and with it the port closes
    return 0;
}
