#include "app/StartMessages.h"

#include <cstdio>
#include <cstdlib>

namespace {

// A message handler is a plain function: what it needs lives here for the length of the start.
QtMessageHandler previousHandler = nullptr;
FailedStartExplainer explainer = nullptr;
HeldMessages heldMessages;

void HoldDuringStart(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtFatalMsg) {
        explainer(message, heldMessages);
        std::fflush(nullptr);
        std::_Exit(1);
    }
    heldMessages.append({type, message});
}

} // namespace

std::unique_ptr<QApplication> StartHoldingMessages(int& argc, char** argv,
                                                   FailedStartExplainer explain)
{
    explainer = explain;
    previousHandler = qInstallMessageHandler(HoldDuringStart);
    auto app = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(previousHandler);
    for (const auto& [type, message] : std::exchange(heldMessages, {}))
        qt_message_output(type, QMessageLogContext(), message);
    return app;
}

void PrintHeldMessages(const QString& fatalMessage, const HeldMessages& held)
{
    for (const auto& message : held)
        std::fprintf(stderr, "  %s\n", qPrintable(message.second));
    std::fprintf(stderr, "  %s\n", qPrintable(fatalMessage.section(QLatin1Char('\n'), 0, 0)));
}
