#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// What the command line of orvalen asks for.
struct CommandLine
{
    // Set when the program must end at once, without a window: print `output` on stdout and
    // `error` on stderr, then exit with this status (0 for --help/--version, 2 for a usage error).
    std::optional<int> exitStatus;
    QString output;
    QString error;
    // --traffic-log FILE: where to append the printer's traffic; empty for no log.
    QString trafficLog;
};

// Reads the program's arguments (the first one is the program's own name). Needs no application
// object, so it runs before anything touches the display. Qt's own window-system options
// (-platform, -display, -style, ...) are accepted and left for QApplication.
CommandLine ParseCommandLine(const QStringList& arguments);

// The arguments of main() as text, decoded the way the system's locale encodes them.
QStringList ArgumentList(int argc, char** argv);
