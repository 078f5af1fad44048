#include "runtime/TimeBase.h"

#include <QElapsedTimer>

#include <cmath>
#include <cstdio>
#include <mutex>

namespace {

constexpr qint64 NsPerMs = 1000000;
// A difference between the computer's clock and the steady clock larger than this is a setting
// of the computer's clock; smaller ones are reading jitter and slewing, which the sped-up clock
// does not need to copy.
constexpr qint64 ClockSetNs = 50 * NsPerMs;

bool SaneScale(double scale)
{
    return std::isfinite(scale) && scale >= TimeBase::MinScale && scale <= TimeBase::MaxScale;
}

struct Clock
{
    std::mutex lock;
    QElapsedTimer steady;
    TimeBase::WallClock wall;
    // The computer's clock at steady reading zero; moves when the computer's clock is set.
    qint64 wallBaseNs = 0;
    // What the speed-up has added up to anchorNs, and since then at the current scale.
    qint64 extraNs = 0;
    qint64 anchorNs = 0;
    double scale = 1.0;
    bool pinned = false; // by SetNow, to offsetMs from the computer's clock
    qint64 offsetMs = 0;

    Clock()
    {
        steady.start();
        const QByteArray env = qgetenv("ORVALEN_TIME_SCALE");
        if (env.isEmpty())
            return;
        QString warning;
        if (const std::optional<double> s = TimeBase::ScaleFromText(env, &warning))
            scale = *s;
        else
            std::fprintf(stderr, "%s\n", qPrintable(warning));
    }

    qint64 WallMs() const { return wall ? wall() : QDateTime::currentMSecsSinceEpoch(); }

    qint64 ExtraNs(qint64 steadyNs) const
    {
        return extraNs + qint64(double(steadyNs - anchorNs) * (scale - 1));
    }

    // Plain running: nothing pinned, nothing sped up.
    bool Plain() const { return !pinned && extraNs == 0 && scale == 1.0; }

    qint64 NowLocked()
    {
        const qint64 wallMs = WallMs();
        const qint64 steadyNs = steady.nsecsElapsed();
        const qint64 base = wallMs * NsPerMs - steadyNs;
        if (std::llabs(base - wallBaseNs) > ClockSetNs)
            wallBaseNs = base;
        if (Plain())
            return wallMs;
        // Derived from the steady clock between settings of the computer's clock, so a sped-up
        // wait of N program seconds always shows N seconds on this clock.
        const qint64 ns = wallBaseNs + steadyNs + ExtraNs(steadyNs);
        return qint64(std::floor(double(ns) / NsPerMs)) + offsetMs;
    }

    void Rebase()
    {
        const qint64 steadyNs = steady.nsecsElapsed();
        extraNs = ExtraNs(steadyNs);
        anchorNs = steadyNs;
    }
};

Clock& TheClock()
{
    static Clock clock;
    return clock;
}

} // namespace

std::optional<double> TimeBase::ScaleFromText(const QByteArray& text, QString* warning)
{
    bool ok = false;
    const double scale = text.trimmed().toDouble(&ok);
    if (ok && SaneScale(scale))
        return scale;
    if (warning)
        *warning = QStringLiteral("orvalen: ORVALEN_TIME_SCALE=\"%1\" ignored: not a number from "
                                  "%2 to %3; the clock runs at real speed")
                       .arg(QString::fromLocal8Bit(text).simplified())
                       .arg(MinScale)
                       .arg(MaxScale);
    return std::nullopt;
}

double TimeBase::Scale()
{
    Clock& c = TheClock();
    std::lock_guard guard(c.lock);
    return c.scale;
}

void TimeBase::SetScale(double scale)
{
    if (!SaneScale(scale))
        return;
    Clock& c = TheClock();
    std::lock_guard guard(c.lock);
    c.Rebase();
    c.scale = scale;
}

void TimeBase::SetNow(const QDateTime& value)
{
    Clock& c = TheClock();
    std::lock_guard guard(c.lock);
    c.pinned = true;
    c.offsetMs = 0;
    c.offsetMs = value.toMSecsSinceEpoch() - c.NowLocked();
}

void TimeBase::Reset()
{
    Clock& c = TheClock();
    std::lock_guard guard(c.lock);
    c.Rebase();
    c.extraNs = 0;
    c.pinned = false;
    c.offsetMs = 0;
}

void TimeBase::SetWallClock(WallClock clock)
{
    Clock& c = TheClock();
    std::lock_guard guard(c.lock);
    c.wall = std::move(clock);
    c.NowLocked(); // takes the new clock's base at once
}

qint64 TimeBase::NowMSecs()
{
    Clock& c = TheClock();
    std::lock_guard guard(c.lock);
    return c.NowLocked();
}

TDateTime TimeBase::Now()
{
    return DateTimeFromQt(QDateTime::fromMSecsSinceEpoch(NowMSecs()));
}

int TimeBase::RealMs(double programMs)
{
    if (programMs <= 0)
        return 0;
    const double real = std::ceil(programMs / Scale());
    return real < 1 ? 1 : real > 2e9 ? 2000000000 : int(real);
}
