#pragma once

#include "runtime/Events.h"

#include <QObject>
#include <QTimer>

// A window timer: ticks every Interval milliseconds of the program's clock through the message
// loop while Enabled and a handler is assigned. Errors that escape the handler are reported
// through the error-report hook (ErrorReport.h).
class TTimer : public QObject
{
    Q_OBJECT
public:
    explicit TTimer(QObject* owner = nullptr);

    int Interval() const { return interval_; }
    void SetInterval(int ms);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);

    TNotifyEvent OnTimer;

private:
    void Restart();

    QTimer timer_;
    int interval_ = 1000;
    bool enabled_ = true;
};
