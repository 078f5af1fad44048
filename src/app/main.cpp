#include "app/CommandLine.h"
#include "app/DisplayStart.h"
#include "app/Form1.h"
#include "app/Startup.h"
#include "runtime/Application.h"

#include <cstdio>
#include <memory>

int main(int argc, char** argv)
{
    // The command line is read before anything needs a display, so --help and --version work
    // over ssh and in scripts.
    const CommandLine commandLine = ParseCommandLine(ArgumentList(argc, argv));
    if (commandLine.exitStatus) {
        std::fputs(commandLine.output.toLocal8Bit().constData(), stdout);
        std::fputs(commandLine.error.toLocal8Bit().constData(), stderr);
        return *commandLine.exitStatus;
    }
    const std::unique_ptr<QApplication> app = StartGuiApplication(argc, argv);
    if (!app)
        return 1;
    InitApplication();
    {
        const auto form = std::make_unique<TForm1>();
        ShowMainWindow(*form);
        Application().Run();
    } // the window goes here, and with it the port closes
    return 0;
}
