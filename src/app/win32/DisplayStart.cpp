#include "app/DisplayStart.h"

#include <QList>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <utility>

// On Windows there is always a desktop to show the window on: what can fail is Qt's windows
// platform plugin, missing from the platforms folder beside the program.
namespace {

// While QApplication starts, Qt's messages are held back: when the platform plugin fails, Qt
// warns and then calls qFatal, which aborts. The handler below turns that into one clear message
// and exit status 1; when the start succeeds the held messages go out as usual.
QtMessageHandler previousHandler = nullptr;
QList<std::pair<QtMsgType, QString>> heldMessages;

[[noreturn]] void ExplainFailedStart(const QString& fatalMessage)
{
    std::fprintf(stderr,
                 "The window could not be opened: Qt's window system did not start. Keep the "
                 "folder platforms (with qwindows.dll) beside orvalen.exe.\n");
    for (const auto& held : heldMessages)
        std::fprintf(stderr, "  %s\n", qPrintable(held.second));
    std::fprintf(stderr, "  %s\n", qPrintable(fatalMessage.section(QLatin1Char('\n'), 0, 0)));
    std::fflush(nullptr);
    std::_Exit(1);
}

void HoldDuringStart(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtFatalMsg)
        ExplainFailedStart(message);
    heldMessages.append({type, message});
}

} // namespace

std::unique_ptr<QApplication> StartGuiApplication(int& argc, char** argv)
{
    previousHandler = qInstallMessageHandler(HoldDuringStart);
    auto app = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(previousHandler);
    for (const auto& [type, message] : std::exchange(heldMessages, {}))
        qt_message_output(type, QMessageLogContext(), message);
    return app;
}
