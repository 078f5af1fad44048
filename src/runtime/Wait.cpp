#include "Wait.h"

#include "TimeBase.h"

#include <QCoreApplication>
#include <QTimer>

bool WaitUntil(TDateTime deadline, const std::function<bool()>& done)
{
    // Wakes the loop at the deadline when nothing else arrives before it.
    QTimer alarm;
    alarm.setSingleShot(true);
    alarm.setTimerType(Qt::PreciseTimer);
    for (;;) {
        if (done && done())
            return true;
        const TDateTime now = Now();
        if (now >= deadline)
            return false;
        alarm.start(TimeBase::RealMs((deadline - now) * MSecsPerDay));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}
