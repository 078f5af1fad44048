#include "TimeBase.h"

#include <QElapsedTimer>

#include <cmath>
#include <mutex>

namespace {

struct Clock
{
    std::mutex lock;
    QElapsedTimer steady;
    qint64 originMs = 0;      // program time (ms since epoch) at anchorNs
    qint64 anchorNs = 0;      // steady reading when originMs was taken
    double scale = 1.0;

    Clock()
    {
        steady.start();
        originMs = QDateTime::currentMSecsSinceEpoch();
        const QByteArray env = qgetenv("ORVALEN_TIME_SCALE");
        bool ok = false;
        const double s = env.toDouble(&ok);
        if (ok && s > 0)
            scale = s;
    }

    qint64 NowLocked() const
    {
        const double elapsedMs = double(steady.nsecsElapsed() - anchorNs) / 1e6;
        return originMs + qint64(std::floor(elapsedMs * scale));
    }

    void Rebase(qint64 programMs)
    {
        anchorNs = steady.nsecsElapsed();
        originMs = programMs;
    }
};

Clock& TheClock()
{
    static Clock clock;
    return clock;
}

} // namespace

double TimeBase::Scale()
{
    Clock& c = TheClock();
    std::lock_guard guard(c.lock);
    return c.scale;
}

void TimeBase::SetScale(double scale)
{
    if (!(scale > 0))
        return;
    Clock& c = TheClock();
    std::lock_guard guard(c.lock);
    c.Rebase(c.NowLocked());
    c.scale = scale;
}

void TimeBase::SetNow(const QDateTime& value)
{
    Clock& c = TheClock();
    std::lock_guard guard(c.lock);
    c.Rebase(value.toMSecsSinceEpoch());
}

void TimeBase::Reset()
{
    Clock& c = TheClock();
    std::lock_guard guard(c.lock);
    c.Rebase(QDateTime::currentMSecsSinceEpoch());
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
