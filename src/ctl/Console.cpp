#include "ctl/Console.h"

#include "runtime/ErrorReport.h"

#include <cstdio>
#include <unistd.h>

Console::Console() : stdoutIsTerminal_(isatty(1) == 1), stderrIsTerminal_(isatty(2) == 1) {}

void Console::Result(const QString& text) const
{
    std::fputs((text + QLatin1Char('\n')).toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

void Console::Message(const QString& text) const
{
    std::fputs(QStringLiteral("orvalenctl: %1\n").arg(text).toLocal8Bit().constData(), stderr);
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
    };
    for (const auto& word : Words)
        if (resultName == QLatin1String(word.Name))
            return Ctl::tr(word.Word);
    return resultName;
}
