#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QSocketNotifier;

// SIGTERM (how systemd stops a unit) and SIGINT (Ctrl+C) during a printer job. Ending at once
// could leave a Z printed and not journalled, so they only ask the job to stop: the exchange in
// progress ends within its limit, its journal line is written, the port closes, and no further
// command goes out. Then EndIfReceived ends the program by the signal, as if it had not been
// caught, so that systemd and the shell see the job stopped by it.
//
// The handler only notes the signal and writes a byte to a pipe; Received says so at once, and the
// pipe's notifier runs `OnReceived` from the event loop that the job's waits run.
class StopSignals : public QObject
{
    Q_OBJECT
public:
    // One at a time: the handlers are the process's.
    StopSignals();
    ~StopSignals() override; // the signals' earlier handling comes back

    bool Received() const;
    // "SIGTERM", "SIGINT"; empty when none came.
    QString Name() const;

    // Ends the program by the signal received, its results flushed; returns when none came.
    void EndIfReceived();

signals:
    void Stopping(const QString& name);

private:
    QSocketNotifier* notifier_ = nullptr;
};
