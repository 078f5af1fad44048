// Ctrl+C, Ctrl+Break and the console's closing on Windows. The system calls the handler on a
// thread of its own; it notes the event and hands it to the job's thread through the event loop.
// Closing the console (or logging off) ends the process once the handler returns, or after five
// seconds: the handler holds it until the job has ended or four of those seconds have passed,
// which is enough for the journal line of a job that was waiting for a reply, though not for the
// rest of a long exchange.
#include "ctl/StopSignals.h"

#include "platform/win32/UniqueHandle.h"

#include <QMetaObject>
#include <QPointer>

#include <atomic>
#include <cstdio>

#include <windows.h>

namespace {

std::atomic<int> received{-1};
StopSignals* instance = nullptr;
UniqueHandle jobEnded;
constexpr DWORD CloseGraceMs = 4000;

BOOL WINAPI NoteEvent(DWORD event)
{
    int none = -1;
    received.compare_exchange_strong(none, int(event));
    if (StopSignals* stops = instance)
        QMetaObject::invokeMethod(
            stops, [stops] { emit stops->Stopping(stops->Name()); }, Qt::QueuedConnection);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        WaitForSingleObject(jobEnded.Get(), CloseGraceMs);
    return TRUE;
}

} // namespace

StopSignals::StopSignals()
{
    received = -1;
    jobEnded = MakeEvent();
    instance = this;
    SetConsoleCtrlHandler(NoteEvent, TRUE);
}

StopSignals::~StopSignals()
{
    SetConsoleCtrlHandler(NoteEvent, FALSE);
    instance = nullptr;
    if (jobEnded.IsOpen())
        SetEvent(jobEnded.Get());
}

bool StopSignals::Received() const
{
    return received != -1;
}

QString StopSignals::Name() const
{
    switch (received) {
    case CTRL_C_EVENT:
        return QStringLiteral("Ctrl+C");
    case CTRL_BREAK_EVENT:
        return QStringLiteral("Ctrl+Break");
    case CTRL_CLOSE_EVENT:
        return QStringLiteral("console close");
    case CTRL_LOGOFF_EVENT:
        return QStringLiteral("logoff");
    case CTRL_SHUTDOWN_EVENT:
        return QStringLiteral("shutdown");
    default:
        return {};
    }
}

void StopSignals::EndIfReceived()
{
    if (received == -1)
        return;
    std::fflush(stdout);
    std::fflush(stderr);
    if (jobEnded.IsOpen())
        SetEvent(jobEnded.Get());
    // As the system's own handling of Ctrl+C ends a program: cmd and the Task Scheduler show
    // the job as stopped, not as one that failed.
    ExitProcess(STATUS_CONTROL_C_EXIT);
}
