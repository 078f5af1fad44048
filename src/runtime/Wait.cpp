#include "runtime/Wait.h"

#include "runtime/TimeBase.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

bool WaitUntil(TDateTime deadline, const std::function<bool()>& done)
{
    const QDeadlineTimer end(TimeBase::RealMs((deadline - Now()) * MSecsPerDay), Qt::PreciseTimer);
    // Wakes the loop at the deadline when nothing else arrives before it.
    QTimer alarm;
    alarm.setSingleShot(true);
    alarm.setTimerType(Qt::PreciseTimer);
    for (;;) {
        if (done && done())
            return true;
        if (end.hasExpired())
            return false;
        alarm.start(int(end.remainingTime()));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}
