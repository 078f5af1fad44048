#include "app/DisplayStart.h"

#include "app/StartMessages.h"

#include <QByteArray>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

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

void ExplainFailedStart(const QString& fatalMessage, const HeldMessages& held)
{
    bool displayRefused = false;
    for (const auto& message : held)
        displayRefused |= message.second.contains(QStringLiteral("could not connect to display"));
    if (displayRefused) {
        std::fprintf(
            stderr, "No display found: DISPLAY is set to \"%s\" but no display answers there. %s\n",
            qgetenv("DISPLAY").constData(), RunHint);
    } else {
        std::fprintf(stderr, "No display could be opened: Qt's window system did not start. %s\n",
                     RunHint);
        PrintHeldMessages(fatalMessage, held);
    }
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
    auto app = StartHoldingMessages(argc, argv, ExplainFailedStart);
    alarm(0);
    sigaction(SIGALRM, &previousAlarm, nullptr);
    return app;
}
