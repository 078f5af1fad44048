#pragma once

#include "DateTime.h"

#include <QtGlobal>

// One time base for the clock and for window timers. Normally it is the wall clock. Tests (and
// the environment variable ORVALEN_TIME_SCALE) can make it run a number of times faster than real
// time: the clock then advances Scale() program milliseconds per real millisecond and every timer
// interval shrinks by the same factor, so the order of events stays the same.
class TimeBase
{
public:
    static double Scale();
    // Keeps Now() continuous: the clock goes on from where it stands at the faster rate.
    static void SetScale(double scale);
    // Pins the clock to the given local time at this moment; it runs on from there.
    static void SetNow(const QDateTime& value);
    // Returns to the real wall clock at the current scale.
    static void Reset();

    static TDateTime Now();
    // Milliseconds since the Unix epoch on the program's clock.
    static qint64 NowMSecs();
    // A duration on the program's clock as real milliseconds (at least 1 for a positive duration).
    static int RealMs(double programMs);
};
