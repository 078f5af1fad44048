#pragma once

#include <QDateTime>

// The program's date and time: a floating number of days since 1899-12-30 00:00 in local wall-clock
// time, the fraction being the time of day. Deadlines are "now plus a fraction of a day".
using TDateTime = double;

inline constexpr double SecsPerDay = 86400.0;
inline constexpr double MSecsPerDay = 86400000.0;

// Local date and time, read through the time base (see TimeBase.h), millisecond resolution.
TDateTime Now();

TDateTime DateTimeFromQt(const QDateTime& value);
QDateTime DateTimeToQt(TDateTime value);

TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int min, int sec, int msec);
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& min, int& sec, int& msec);

// A duration in seconds as a fraction of a day (30 s is 30/86400).
inline constexpr TDateTime Seconds(double secs)
{
    return secs / SecsPerDay;
}
