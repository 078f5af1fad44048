#pragma once

#include <QCoreApplication>
#include <QString>

// The context of orvalenctl's translatable texts (translations/orvalenctl_es.ts).
struct Ctl
{
    Q_DECLARE_TR_FUNCTIONS(Ctl)
};

// orvalenctl's exit statuses, the same for every command; scripts and the timer rely on them.
enum class ExitStatus
{
    Done = 0,         // the printer answered (clock: accepted); ports and history: listed
    Refused = 1,      // the printer refused or did not answer; the results could not be written
    Usage = 2,        // unknown command or option, a bad port name
    NotFound = 3,     // no printer found
    CannotOpen = 4,   // the port could not be opened (permission, busy, missing)
    OtherPrinter = 5, // another serial number answered where the remembered printer should be
    Unchanged = 6,    // schedule: the task was already there (install) or was not (remove, show);
                      // on Linux, where the systemd user timer schedules the Z
};

inline int ToInt(ExitStatus status)
{
    return static_cast<int>(status);
}

// What goes to stderr from below orvalenctl (Qt's warnings, errors reported outside a job) is
// one of its messages too: "orvalenctl: " first. Installed at start, and again by what replaced
// the error report's hook for a while.
void RouteWarningsToConsole();

// A job's result ("answered", "no-reply") in words for a person, in the user's language; the
// journal and JSON keep the names.
QString ResultWord(const QString& resultName);

// Results go to standard output, everything meant for the person to standard error; progress
// lines only when a person watches standard error, so that a pipe or the timer gets results.
class Console
{
public:
    Console();

    // For the program without a console (orvalenctlw, the scheduled task's): nobody reads its
    // streams, which lead to NUL or nowhere, so nothing is written and no write is a failure. The
    // results are in the journal and the traffic log.
    static void WithoutReader();

    // A line of result (the newline is added). Once standard output refused a write (a full
    // disk, a closed pipe), nothing more is written to it.
    void Result(const QString& text) const;
    void Message(const QString& text) const;  // "orvalenctl: text" on stderr
    void Progress(const QString& text) const; // as Message, only on a terminal

    bool ResultsToTerminal() const { return stdoutIsTerminal_; }
    bool ResultsFailed() const { return resultsError_ != 0; }

    // The command's exit status, once its results are on their way: a result that could not be
    // written is a failure (Refused), said on stderr, since whoever reads them gets nothing.
    ExitStatus Finished(ExitStatus status) const;

private:
    bool stdoutIsTerminal_;
    bool stderrIsTerminal_;
    mutable int resultsError_ = 0; // errno of the first write to stdout that failed
};
