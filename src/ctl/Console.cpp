#include "ctl/Console.h"

#include "ctl/ConsoleStream.h"
#include "runtime/ErrorReport.h"

#include <cerrno>
#include <cstdio>

namespace {

bool withoutReader = false;

} // namespace

Console::Console()
    : stdoutIsTerminal_(ConsoleStream::IsConsole(stdout)),
      stderrIsTerminal_(ConsoleStream::IsConsole(stderr))
{
}

void Console::WithoutReader()
{
    withoutReader = true;
}

void Console::Result(const QString& text) const
{
    if (resultsError_ != 0)
        return;
    // Buffered: `history` writes a line per job. Message flushes first, so that the lines keep
    // their order where both streams go to one place.
    if (withoutReader)
        return;
    resultsError_ = ConsoleStream::Write(stdout, text + QLatin1Char('\n'));
}

void Console::Message(const QString& text) const
{
    errno = 0;
    if (resultsError_ == 0 && std::fflush(stdout) != 0)
        resultsError_ = errno != 0 ? errno : EIO;
    if (!withoutReader)
        ConsoleStream::Write(stderr, QStringLiteral("orvalenctl: %1\n").arg(text));
}

void Console::Progress(const QString& text) const
{
    if (stderrIsTerminal_)
        Message(text);
}

void RouteWarningsToConsole()
{
    qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& text) { Console().Message(text); });
    SetErrorReportHook([](const QString& text) { Console().Message(text); });
}

QString ResultWord(const QString& resultName)
{
    static constexpr struct
    {
        const char* Name;
        const char* Word;
    } Words[] = {
        // In English the names themselves, which scripts may already look for.
        {"answered", QT_TRANSLATE_NOOP("Ctl", "answered")},
        {"accepted", QT_TRANSLATE_NOOP("Ctl", "accepted")},
        {"refused", QT_TRANSLATE_NOOP("Ctl", "refused")},
        {"no-reply", QT_TRANSLATE_NOOP("Ctl", "no-reply")},
        {"not-found", QT_TRANSLATE_NOOP("Ctl", "not-found")},
        {"cannot-open", QT_TRANSLATE_NOOP("Ctl", "cannot-open")},
        {"other-printer", QT_TRANSLATE_NOOP("Ctl", "other-printer")},
        {"skipped", QT_TRANSLATE_NOOP("Ctl", "skipped")},
        {"sending", QT_TRANSLATE_NOOP("Ctl", "sending")},
        {"stopped", QT_TRANSLATE_NOOP("Ctl", "stopped")},
        {"interrupted", QT_TRANSLATE_NOOP("Ctl", "interrupted")},
    };
    for (const auto& word : Words)
        if (resultName == QLatin1String(word.Name))
            return Ctl::tr(word.Word);
    return resultName;
}

ExitStatus Console::Finished(ExitStatus status) const
{
    errno = 0;
    if (resultsError_ == 0 && std::fflush(stdout) != 0)
        resultsError_ = errno != 0 ? errno : EIO;
    if (resultsError_ == 0 || withoutReader)
        return status;
    Message(Ctl::tr("the results could not be written to standard output: %1")
                .arg(ConsoleStream::ErrorText(resultsError_)));
    return ExitStatus::Refused;
}
