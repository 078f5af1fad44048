#pragma once

#include "runtime/DateTime.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

// One time base for the clock and for window timers.
//
// Normally Now() is the computer's local date and time, read afresh at every call, so a clock
// set while the program runs (time sync after boot, a technician, a laptop waking up) reaches
// the printer. Durations are never measured on it: waits and timers run on the steady clock.
//
// Tests (and the environment variable ORVALEN_TIME_SCALE) can make the program run a number of
// times faster than real time: every timer interval and wait shrinks by that factor and the
// clock gains the difference, so the order of events stays the same. The clock still follows
// every setting of the computer's clock in that mode.
class TimeBase
{
public:
    // Milliseconds since the Unix epoch; by default the computer's clock.
    using WallClock = std::function<qint64()>;

    // The sane range of speed-up factors; anything else would stall or spin the program.
    static constexpr double MinScale = 0.01;
    static constexpr double MaxScale = 1000;

    static double Scale();
    // Keeps Now() continuous: the clock goes on from where it stands at the faster rate. A
    // factor outside the sane range is ignored.
    static void SetScale(double scale);
    // Pins the clock to the given local time at this moment; it runs on from there.
    static void SetNow(const QDateTime& value);
    // Drops what SetNow and the speed-up added: Now() is the computer's clock again.
    static void Reset();
    // Replaces the computer's clock (tests that set "the computer's clock" without touching
    // the system's); an empty function restores the real one.
    static void SetWallClock(WallClock clock);

    static TDateTime Now();
    // Milliseconds since the Unix epoch on the program's clock.
    static qint64 NowMSecs();
    // A duration on the program's clock as real milliseconds (at least 1 for a positive duration).
    static int RealMs(double programMs);

    // The speed-up given by the text of ORVALEN_TIME_SCALE, or nothing with a one-line warning
    // when the text is not a finite number in the sane range.
    static std::optional<double> ScaleFromText(const QByteArray& text, QString* warning);
};
