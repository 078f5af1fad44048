#include "runtime/Timer.h"

#include "runtime/ErrorReport.h"
#include "runtime/TimeBase.h"

TTimer::TTimer(QObject* owner) : QObject(owner)
{
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (enabled_ && OnTimer)
            ReportErrors([this] { OnTimer(this); });
    });
    Restart();
}

void TTimer::SetInterval(int ms)
{
    if (ms == interval_)
        return;
    interval_ = ms;
    Restart();
}

void TTimer::SetEnabled(bool enabled)
{
    if (enabled == enabled_)
        return;
    enabled_ = enabled;
    Restart();
}

void TTimer::Restart()
{
    timer_.stop();
    if (enabled_ && interval_ > 0)
        timer_.start(TimeBase::RealMs(interval_));
}
