#include "runtime/DateTime.h"

#include "runtime/TimeBase.h"

#include <cmath>

namespace {

const QDate DayZero(1899, 12, 30);

// Whole milliseconds since day zero; every split goes through this so that a value just below a
// second boundary does not decode to 59.999... and a date just before midnight keeps its day.
qint64 ToMSecs(TDateTime value)
{
    return std::llround(value * MSecsPerDay);
}

} // namespace

TDateTime Now()
{
    return TimeBase::Now();
}

TDateTime DateTimeFromQt(const QDateTime& value)
{
    const QDateTime local = value.toLocalTime();
    const qint64 days = DayZero.daysTo(local.date());
    const qint64 msOfDay = local.time().msecsSinceStartOfDay();
    return (double(days) * MSecsPerDay + double(msOfDay)) / MSecsPerDay;
}

QDateTime DateTimeToQt(TDateTime value)
{
    const qint64 ms = ToMSecs(value);
    const qint64 perDay = qint64(MSecsPerDay);
    qint64 days = ms / perDay;
    qint64 msOfDay = ms % perDay;
    if (msOfDay < 0) {
        msOfDay += perDay;
        --days;
    }
    return QDateTime(DayZero.addDays(days), QTime::fromMSecsSinceStartOfDay(int(msOfDay)));
}

TDateTime EncodeDate(int year, int month, int day)
{
    return double(DayZero.daysTo(QDate(year, month, day)));
}

TDateTime EncodeTime(int hour, int min, int sec, int msec)
{
    return (((hour * 60.0 + min) * 60.0 + sec) * 1000.0 + msec) / MSecsPerDay;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day)
{
    DateTimeToQt(value).date().getDate(&year, &month, &day);
}

void DecodeTime(TDateTime value, int& hour, int& min, int& sec, int& msec)
{
    const QTime t = DateTimeToQt(value).time();
    hour = t.hour();
    min = t.minute();
    sec = t.second();
    msec = t.msec();
}
