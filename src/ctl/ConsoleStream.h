#pragma once

#include <QString>

#include <cstdio>

// Standard output and error as each system writes text to them: the locale's encoding on POSIX;
// on Windows the console's own wide calls when the stream is a console (its code page can show
// no accent otherwise), UTF-8 bytes into a file or a pipe.
namespace ConsoleStream {

// A person watches it: a terminal, or a Windows console (not NUL, which the C library calls a
// character device too).
bool IsConsole(std::FILE* stream);

// Writes the text; 0, or the errno value of the failure.
int Write(std::FILE* stream, const QString& text);

// The errno value's text.
QString ErrorText(int error);

} // namespace ConsoleStream
