#include "app/DisplayStart.h"

#include "app/StartMessages.h"

#include <cstdio>

// On Windows there is always a desktop to show the window on: what can fail is Qt's windows
// platform plugin, missing from the platforms folder beside the program.
namespace {

void ExplainFailedStart(const QString& fatalMessage, const HeldMessages& held)
{
    std::fprintf(stderr,
                 "The window could not be opened: Qt's window system did not start. Keep the "
                 "folder platforms (with qwindows.dll) beside orvalen.exe.\n");
    PrintHeldMessages(fatalMessage, held);
}

} // namespace

std::unique_ptr<QApplication> StartGuiApplication(int& argc, char** argv)
{
    return StartHoldingMessages(argc, argv, ExplainFailedStart);
}
