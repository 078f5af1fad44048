#include "app/DisplayStart.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <utility>

namespace {

#define ORVALEN_RUN_HINT                                                                           \
    "Run Orvalen in a desktop session, under xvfb-run, or with QT_QPA_PLATFORM set (e.g. "         \
    "offscreen)."
constexpr char RunHint[] = ORVALEN_RUN_HINT;

// A display that takes the connection but never answers (a stopped X server, a stalled
// forwarded connection) would hold the start for ever; a live one answers in milliseconds.
constexpr unsigned DisplayAnswerLimitSecs = 10;

void DisplayDidNotAnswer(int)
{
    static const char message[] = "No display found: the display did not answer within 10 "
                                  "seconds. " ORVALEN_RUN_HINT "\n";
    // Only async-signal-safe calls here.
    (void)!write(STDERR_FILENO, message, sizeof message - 1);
    _exit(1);
}

bool HasDisplay()
{
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return true;
    }
    return false;
}

// While QApplication starts, Qt's messages are held back: when the platform plugin fails, Qt
// warns twice and then calls qFatal, which aborts. The handler below turns that into one clear
// message and exit status 1; when the start succeeds the held messages go out as usual.
QtMessageHandler previousHandler = nullptr;
QList<std::pair<QtMsgType, QString>> heldMessages;

[[noreturn]] void ExplainFailedStart(const QString& fatalMessage)
{
    bool displayRefused = false;
    for (const auto& held : heldMessages)
        displayRefused |= held.second.contains(QStringLiteral("could not connect to display"));
    if (displayRefused) {
        std::fprintf(
            stderr, "No display found: DISPLAY is set to \"%s\" but no display answers there. %s\n",
            qgetenv("DISPLAY").constData(), RunHint);
    } else {
        std::fprintf(stderr, "No display could be opened: Qt's window system did not start. %s\n",
                     RunHint);
        for (const auto& held : heldMessages)
            std::fprintf(stderr, "  %s\n", qPrintable(held.second));
        std::fprintf(stderr, "  %s\n", qPrintable(fatalMessage.section(QLatin1Char('\n'), 0, 0)));
    }
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
    if (!HasDisplay()) {
        std::fprintf(stderr, "No display found: neither DISPLAY nor WAYLAND_DISPLAY is set. %s\n",
                     RunHint);
        return nullptr;
    }
    struct sigaction watchdog = {};
    struct sigaction previousAlarm = {};
    watchdog.sa_handler = DisplayDidNotAnswer;
    sigaction(SIGALRM, &watchdog, &previousAlarm);
    alarm(DisplayAnswerLimitSecs);
    previousHandler = qInstallMessageHandler(HoldDuringStart);
    auto app = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(previousHandler);
    alarm(0);
    sigaction(SIGALRM, &previousAlarm, nullptr);
    for (const auto& [type, message] : std::exchange(heldMessages, {}))
        qt_message_output(type, QMessageLogContext(), message);
    return app;
}
