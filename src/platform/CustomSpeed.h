#pragma once

#include <QtGlobal>

// Speeds without a Bxxx constant (14400, 56000, 128000, user speeds) go through termios2 with
// BOTHER. The kernel's termios2 header clashes with <termios.h>, so these live in a source file
// of their own. Both return 0 or an errno value.
int SetCustomSpeed(int fd, quint32 bitsPerSecond);
int GetSpeeds(int fd, quint32& inputBps, quint32& outputBps);
