#pragma once

#include <QString>

// Prints the answer to the command line (--help, --version, a usage error) where the user
// started the program: `output` on standard output, `error` on standard error. On Windows a
// program of the GUI subsystem has no console of its own, so it attaches to the one of the
// program that started it (the command prompt) when its standard handles lead nowhere.
void PrintToStartingConsole(const QString& output, const QString& error);
